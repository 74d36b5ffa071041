#include "BatchEngine.h"

#include "ActionLogLines.h"
#include "FileTransform.h"
#include "InputFile.h"
#include "LogLines.h"
#include "cipher/Marker.h"

#include <QFile>
#include <QHash>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace filecrypt;

namespace {

// One group: little enough data that its flush stays short, and few enough
// files that two groups' descriptors (file read, file written, folders) fit
// the process's limit.
constexpr int kMostGroupFiles = 256;
constexpr qint64 kGroupBytes = qint64(64) << 20;
// Larger files end their group: they are flushed without waiting for more.
constexpr qint64 kLargeFile = qint64(16) << 20;
// Folder descriptors kept open beyond those the group needs.
constexpr std::size_t kSpareFolders = 64;

int groupSize()
{
    // The usual soft limit of 1024 is a default, not a need: the hard limit
    // is there to be used, up to what two full groups take.
    struct rlimit limit;
    constexpr rlim_t kWanted = 4096;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kWanted && limit.rlim_max > limit.rlim_cur) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : qMin(limit.rlim_max, kWanted);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    const rlim_t open = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
    const rlim_t spare = 200 + kSpareFolders; // Qt's own, the spare folders
    const rlim_t fit = open > spare ? (open - spare) / 6 : 1;
    return int(qBound<rlim_t>(1, fit, kMostGroupFiles));
}

// Descriptors of the walked folders, each opened from its parent without
// following a link and checked against the walk. Shared by the thread that
// writes ahead and the one that commits: a descriptor handed out stays
// pinned, never closed, until its user lets it go.
class Folders
{
public:
    enum class Status { Ok, Missing, Swapped, Unreadable };

    explicit Folders(const FolderListing &listing)
        : m_listing(listing)
    {
    }
    ~Folders()
    {
        for (const auto &entry : m_open)
            ::close(entry.second.fd);
    }

    // The folder's descriptor, pinned; -1 with the reason when it cannot be
    // reached as the walk found it.
    int openPinned(int index, Status *status)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        *status = Status::Ok;
        const int fd = open(index, status);
        if (fd >= 0)
            ++m_open.at(index).pins;
        evict();
        return fd;
    }

    void unpin(int index)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto found = m_open.find(index);
        if (found != m_open.end() && found->second.pins > 0)
            --found->second.pins;
        evict();
    }

private:
    struct Entry
    {
        int fd;
        quint64 used;
        int pins;
    };

    int open(int index, Status *status)
    {
        auto found = m_open.find(index);
        if (found != m_open.end()) {
            found->second.used = ++m_clock;
            return found->second.fd;
        }
        const WalkedFolder &folder = m_listing.folders[std::size_t(index)];
        int fd = -1;
        if (folder.parent < 0) {
            // The dropped folder itself, as the user named it.
            fd = ::open(QFile::encodeName(m_listing.root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        } else {
            const int parent = open(folder.parent, status);
            if (parent < 0)
                return -1;
            fd = ::openat(parent, folder.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            *status = errno == ELOOP || errno == ENOTDIR ? Status::Swapped
                      : errno == ENOENT                  ? Status::Missing
                                                         : Status::Unreadable;
            return -1;
        }
        struct stat info;
        if (::fstat(fd, &info) != 0 || info.st_dev != folder.device || info.st_ino != folder.inode) {
            ::close(fd);
            *status = Status::Swapped;
            return -1;
        }
        m_open.emplace(index, Entry{fd, ++m_clock, 0});
        return fd;
    }

    void evict()
    {
        std::size_t unpinned = 0;
        for (const auto &entry : m_open)
            unpinned += entry.second.pins == 0 ? 1 : 0;
        while (unpinned > kSpareFolders) {
            auto oldest = m_open.end();
            for (auto it = m_open.begin(); it != m_open.end(); ++it) {
                if (it->second.pins == 0 && (oldest == m_open.end() || it->second.used < oldest->second.used))
                    oldest = it;
            }
            ::close(oldest->second.fd);
            m_open.erase(oldest);
            --unpinned;
        }
    }

    const FolderListing &m_listing;
    std::mutex m_lock;
    std::unordered_map<int, Entry> m_open;
    quint64 m_clock = 0;
};

enum class State {
    Ready,    // written ahead, waiting to be flushed and committed
    Deferred, // written by the committing thread when its turn comes (large,
              // or changed while written ahead)
    Done,
    Skipped,
    Failed,
    Cancelled,
};

struct Slot
{
    int index = 0;
    State state = State::Failed;
    bool inState = false; // skipped as already in the batch's direction
    QStringList lines;
    std::unique_ptr<Replacement> replacement;
    // The file read, open until its replacement is in place: see LateClose.
    std::unique_ptr<InputFile> input;
    int folder = -1; // its descriptor, pinned while the slot holds it
    int folderIndex = -1;
    dev_t device = 0;
};

using Group = std::vector<Slot>;

} // namespace

class BatchEngine::Private
{
public:
    Private(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks)
        : listing(listing)
        , direction(direction)
        , cipherActive(cipherActive)
        , hooks(std::move(hooks))
        , groupFiles(groupSize())
        , folders(listing)
    {
    }

    bool cancelled() const { return hooks.cancel && hooks.cancel->load(std::memory_order_relaxed); }

    Slot prepare(int index, bool flushNow);
    Group writeAhead(int *next);
    void flushGroup(Group &group);
    void commit(Slot &slot);
    void settle(Group &group, int settledCount);
    void count(const Slot &slot);
    void release(Slot &slot);
    bool isRewritten(const QPair<int, QByteArray> &key, ino_t inode);

    const FolderListing &listing;
    const Direction direction;
    const bool cipherActive;
    const Hooks hooks;
    const int groupFiles;
    Folders folders;
    // Files this batch replaced, by where they are: a file listed twice (a
    // link inside the folder) is then still recognised.
    std::mutex rewrittenLock;
    QHash<QPair<int, QByteArray>, ino_t> rewritten;
    // The committing thread stopped: no more writing ahead.
    std::atomic<bool> stopRequested{false};
    BatchSummary summary;
};

// Lets go of what a slot holds but its lines: the replacement (discarded
// unless committed), the file read (closed late if it was replaced) and its
// folder.
void BatchEngine::Private::release(Slot &slot)
{
    slot.replacement.reset();
    if (slot.input && slot.state == State::Done)
        slot.input->closeLater();
    slot.input.reset();
    if (slot.folderIndex >= 0)
        folders.unpin(slot.folderIndex);
    slot.folderIndex = -1;
    slot.folder = -1;
}

bool BatchEngine::Private::isRewritten(const QPair<int, QByteArray> &key, ino_t inode)
{
    std::lock_guard<std::mutex> lock(rewrittenLock);
    const auto found = rewritten.constFind(key);
    return found != rewritten.constEnd() && found.value() == inode;
}

// Opens the file the walk recorded, judges it and writes its replacement.
Slot BatchEngine::Private::prepare(int index, bool flushNow)
{
    Slot slot;
    slot.index = index;
    const QString &path = listing.paths.at(index);
    const WalkedFile &file = listing.files[std::size_t(index)];
    auto skip = [&](const QString &line) {
        slot.lines << line;
        slot.state = State::Skipped;
        release(slot);
        return std::move(slot);
    };

    Folders::Status status;
    const int folder = folders.openPinned(file.folder, &status);
    slot.folder = folder;
    slot.folderIndex = folder >= 0 ? file.folder : -1;
    if (folder < 0) {
        return skip(status == Folders::Status::Swapped   ? actionlines::kSwappedAfterWalk + path
                    : status == Folders::Status::Missing ? actionlines::kNotRegularFile + path
                                                         : actionlines::kUnreadableFile + path);
    }
    auto opened = std::make_unique<InputFile>();
    InputFile &input = *opened;
    switch (input.openAt(folder, file.name)) {
    case InputFile::Opened::Ok:
        break;
    case InputFile::Opened::Missing:
    case InputFile::Opened::NotRegular:
        return skip(actionlines::kNotRegularFile + path);
    case InputFile::Opened::Link:
        return skip(actionlines::kSwappedAfterWalk + path);
    case InputFile::Opened::Unreadable:
        return skip(actionlines::kUnreadableFile + path);
    }
    const struct stat &info = input.info();
    if (info.st_dev != file.device
        || (info.st_ino != file.inode && !isRewritten(qMakePair(file.folder, file.name), info.st_ino)))
        return skip(actionlines::kSwappedAfterWalk + path);

    char header[marker::kHeaderSize];
    const qint64 headerLength = input.peekStart(header, qint64(sizeof header));
    const bool encrypted =
        headerLength > 0
        && marker::startsWithHeader(reinterpret_cast<const std::uint8_t *>(header), std::size_t(headerLength));
    slot.inState = encrypted == (direction == Direction::Encrypt);
    if (direction == Direction::Encrypt && encrypted)
        return skip(actionlines::kSkipPrefix + path + actionlines::kAlreadyEncrypted);
    if (direction == Direction::Decrypt && !encrypted)
        return skip(actionlines::kSkipPrefix + path + actionlines::kAlreadyPlain);

    // Progress only on the committing thread (the one that flushes at once).
    Control control{[&slot](const QString &line) { slot.lines << line; }, hooks.cancel,
                    flushNow ? hooks.fileProgress : nullptr};
    FileTransform transform(direction, cipherActive, control);
    const Outcome outcome = transform.write(input, path, path, [&](Target &target) {
        target.folder = folder;
        target.name = file.name;
        target.exists = true;
        target.info = info;
        // A file the user made read-only is refused, as a plain write would
        // refuse it, rather than replaced.
        return ::faccessat(folder, file.name.constData(), W_OK, AT_EACCESS) == 0;
    });
    if (outcome != Outcome::Done) {
        slot.state = outcome == Outcome::Cancelled ? State::Cancelled : State::Failed;
        release(slot);
        return slot;
    }
    slot.replacement = transform.takeReplacement();
    const Texts &texts = textsFor(direction);
    if (!transform.readWhole()) {
        // Changed while it was read: written ahead, it is read again when
        // its turn comes; in its turn, it is refused.
        release(slot);
        if (flushNow) {
            slot.lines << texts.changed + path;
            slot.state = State::Failed;
        } else {
            slot.lines.clear();
            slot.state = State::Deferred;
        }
        return slot;
    }
    if (!slot.replacement->finish(flushNow)) {
        slot.lines << texts.writeFailed + path + loglines::kReasonSeparator + slot.replacement->errorString();
        slot.state = State::Failed;
        release(slot);
        return slot;
    }
    if (!slot.replacement->attributesNotKept().isEmpty())
        slot.lines << texts.attributesNotKept + path + loglines::kReasonSeparator
                          + slot.replacement->attributesNotKept().join(QLatin1String(", "));
    slot.input = std::move(opened);
    slot.device = info.st_dev;
    slot.state = State::Ready;
    return slot;
}

// The group's new files reach the disk with one flush per file system, or
// with their own flush when alone.
void BatchEngine::Private::flushGroup(Group &group)
{
    std::vector<Slot *> ready;
    for (Slot &slot : group) {
        if (slot.state == State::Ready)
            ready.push_back(&slot);
    }
    auto fail = [this](Slot &slot, const QString &reason) {
        slot.lines << textsFor(direction).writeFailed + listing.paths.at(slot.index) + loglines::kReasonSeparator
                          + reason;
        slot.state = State::Failed;
        release(slot);
    };
    if (ready.size() == 1) {
        if (!ready.front()->replacement->flush())
            fail(*ready.front(), ready.front()->replacement->errorString());
        return;
    }
    std::map<dev_t, int> fileSystems;
    for (const Slot *slot : ready)
        fileSystems.emplace(slot->device, slot->folder);
    for (const auto &fileSystem : fileSystems) {
        if (::syncfs(fileSystem.second) == 0)
            continue;
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        for (Slot *slot : ready) {
            if (slot->device == fileSystem.first)
                fail(*slot, reason);
        }
    }
}

void BatchEngine::Private::commit(Slot &slot)
{
    if (slot.state == State::Deferred)
        slot = prepare(slot.index, true);
    const QString &path = listing.paths.at(slot.index);
    const Texts &texts = textsFor(direction);
    const WalkedFile &file = listing.files[std::size_t(slot.index)];
    const auto key = qMakePair(file.folder, file.name);
    for (int attempt = 0; attempt < 2 && slot.state == State::Ready; ++attempt) {
        // Known before the rename, so that the thread writing ahead never
        // meets the new file without knowing it for this batch's own.
        {
            std::lock_guard<std::mutex> lock(rewrittenLock);
            rewritten.insert(key, slot.replacement->newInfo().st_ino);
        }
        const Replacement::Committed committed = slot.replacement->commit();
        if (committed == Replacement::Committed::Done) {
            slot.replacement.reset();
            slot.state = State::Done; // its folder stays pinned until flushed
            return;
        }
        {
            std::lock_guard<std::mutex> lock(rewrittenLock);
            rewritten.remove(key);
        }
        if (committed == Replacement::Committed::Failed) {
            slot.lines << texts.writeFailed + path + loglines::kReasonSeparator + slot.replacement->errorString();
            slot.state = State::Failed;
        } else if (attempt == 1) {
            slot.lines << texts.changed + path;
            slot.state = State::Failed;
        } else {
            // Changed since it was written ahead: judged afresh now that its
            // turn has come, exactly as if it had not been read before.
            release(slot);
            slot = prepare(slot.index, true);
        }
    }
    if (slot.state != State::Done)
        release(slot);
}

void BatchEngine::Private::count(const Slot &slot)
{
    switch (slot.state) {
    case State::Done:
        ++summary.done;
        break;
    case State::Skipped:
        ++summary.skipped;
        summary.alreadyInState += slot.inState ? 1 : 0;
        break;
    default:
        ++summary.failed;
        summary.failedPaths << listing.paths.at(slot.index);
        break;
    }
}

// Flushes the folders of the renamed files, then logs the lines of the
// settled files in order.
void BatchEngine::Private::settle(Group &group, int settledCount)
{
    std::map<int, int> folderErrors;
    for (int i = 0; i < settledCount; ++i) {
        const Slot &slot = group[std::size_t(i)];
        if (slot.state == State::Done && !folderErrors.count(slot.folder))
            folderErrors[slot.folder] = ::fsync(slot.folder) == 0 ? 0 : errno;
    }
    const QString &output =
        direction == Direction::Encrypt ? actionlines::kEncryptedOutput : actionlines::kDecryptedOutput;
    for (int i = 0; i < settledCount; ++i) {
        Slot &slot = group[std::size_t(i)];
        const QString &path = listing.paths.at(slot.index);
        if (slot.state == State::Done) {
            const int error = folderErrors[slot.folder];
            if (error == 0) {
                slot.lines << output + path;
            } else {
                slot.lines << textsFor(direction).notDurable + path + loglines::kReasonSeparator
                                  + QString::fromLocal8Bit(std::strerror(error));
                slot.state = State::Failed;
            }
        }
        count(slot);
        if (hooks.log) {
            for (const QString &line : qAsConst(slot.lines))
                hooks.log(line);
        }
        release(slot);
    }
}

BatchEngine::BatchEngine(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks)
    : d(new Private(listing, direction, cipherActive, std::move(hooks)))
{
}

BatchEngine::~BatchEngine()
{
    delete d;
}

// The files from `*next` on that make one group, written ahead: none of them
// in place yet. A large file is left for the committing thread to write when
// its turn comes, so that its progress is reported from there.
Group BatchEngine::Private::writeAhead(int *next)
{
    const int total = listing.paths.size();
    Group group;
    qint64 bytes = 0;
    while (*next < total && int(group.size()) < groupFiles && bytes < kGroupBytes && !cancelled()
           && !stopRequested.load()) {
        const bool large = listing.files[std::size_t(*next)].size >= kLargeFile;
        // A large file has a group of its own: the files before it are put
        // in place first instead of waiting for it.
        if (large && !group.empty())
            break;
        if (large) {
            Slot slot;
            slot.index = (*next)++;
            slot.state = State::Deferred;
            group.push_back(std::move(slot));
            break;
        }
        group.push_back(prepare((*next)++, false));
        if (group.back().state == State::Cancelled)
            break;
        bytes += group.back().replacement ? group.back().replacement->written() : 0;
    }
    return group;
}

// Two threads: one writes the next group ahead while this one flushes the
// group before it, puts its files in place one by one as the caller lets it
// and logs them.
BatchSummary BatchEngine::run()
{
    const int total = d->listing.paths.size();
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Group> written;
    bool writerDone = false;
    bool stopWriting = false;

    std::thread writer([&] {
        int next = 0;
        while (next < total) {
            {
                // One group ahead at most: descriptors and memory stay bounded.
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return written.empty() || stopWriting; });
                if (stopWriting)
                    break;
            }
            Group group = d->writeAhead(&next);
            const bool cancelled = group.empty() || group.back().state == State::Cancelled;
            std::lock_guard<std::mutex> guard(lock);
            written.push_back(std::move(group));
            changed.notify_all();
            if (cancelled)
                break;
        }
        std::lock_guard<std::mutex> guard(lock);
        writerDone = true;
        changed.notify_all();
    });

    int settled = 0;
    bool stopped = false;
    while (!stopped) {
        Group group;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return !written.empty() || writerDone; });
            if (written.empty())
                break;
            group = std::move(written.front());
            written.pop_front();
            changed.notify_all();
        }
        if (group.empty() || group.back().state == State::Cancelled || d->cancelled()) {
            stopped = true; // nothing of this group was put in place
        } else {
            d->flushGroup(group);
            // In place, in order, each once the caller has seen the one
            // before.
            int settledInGroup = 0;
            for (Slot &slot : group) {
                if (d->cancelled()) {
                    stopped = true;
                    break;
                }
                d->commit(slot);
                if (slot.state == State::Cancelled) {
                    stopped = true;
                    break;
                }
                ++settledInGroup;
                if (d->hooks.settled && !d->hooks.settled(slot.index)) {
                    stopped = true;
                    break;
                }
            }
            d->settle(group, settledInGroup);
            settled += settledInGroup;
        }
        for (Slot &slot : group)
            d->release(slot); // what was not put in place stays as it was
    }
    d->stopRequested = true;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopWriting = true;
        changed.notify_all();
    }
    writer.join();
    for (Group &group : written) {
        for (Slot &slot : group)
            d->release(slot);
    }
    d->summary.left = total - settled;
    return d->summary;
}

QString batchSummaryLine(Direction direction, const BatchSummary &summary)
{
    using namespace actionlines;
    const bool encrypting = direction == Direction::Encrypt;
    QString line = summary.left > 0 ? (encrypting ? kEncryptBatchCancelled : kDecryptBatchCancelled)
                                          .arg(summary.done)
                                          .arg(summary.skipped)
                                          .arg(summary.failed)
                                          .arg(summary.left)
                                    : (encrypting ? kEncryptBatchDone : kDecryptBatchDone)
                                          .arg(summary.done)
                                          .arg(summary.skipped)
                                          .arg(summary.failed);
    if (!summary.failedPaths.isEmpty()) {
        constexpr int kNamed = 20;
        line += kFailedFilesNamed + summary.failedPaths.mid(0, kNamed).join(kFailedFileSeparator);
        if (summary.failedPaths.size() > kNamed)
            line += kMoreFailedFiles.arg(summary.failedPaths.size() - kNamed);
    }
    return line;
}
