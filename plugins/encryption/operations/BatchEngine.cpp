#include "BatchEngine.h"

#include "ActionLogLines.h"
#include "FileTransform.h"
#include "InputFile.h"
#include "LogLines.h"
#include "cipher/Marker.h"

#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace filecrypt;

namespace {

// One group: few enough files that their descriptors fit any limit, little
// enough data that its flush stays short.
constexpr int kGroupFiles = 128;
constexpr qint64 kGroupBytes = qint64(64) << 20;
// Larger files end their group: they are flushed without waiting for more.
constexpr qint64 kLargeFile = qint64(16) << 20;
// Folder descriptors kept open beyond those the group needs.
constexpr std::size_t kSpareFolders = 64;

// Descriptors of the walked folders, each opened from its parent without
// following a link and checked against the walk.
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

    int open(int index, Status *status)
    {
        *status = Status::Ok;
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
                : errno == ENOENT                         ? Status::Missing
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
        evict();
        return fd;
    }

    void pin(int index) { ++m_open.at(index).pins; }
    void unpinAll()
    {
        for (auto &entry : m_open)
            entry.second.pins = 0;
        evict();
    }

private:
    struct Entry
    {
        int fd;
        quint64 used;
        int pins;
    };

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
    std::unordered_map<int, Entry> m_open;
    quint64 m_clock = 0;
};

enum class State { Ready, Done, Skipped, Failed, Cancelled };

struct Slot
{
    int index = 0;
    State state = State::Failed;
    bool inState = false; // skipped as already in the batch's direction
    QStringList lines;
    std::unique_ptr<Replacement> replacement;
    // The file read, open until its replacement is in place: see LateClose.
    std::unique_ptr<InputFile> input;
    int folder = -1;
    dev_t device = 0;
};

} // namespace

class BatchEngine::Private
{
public:
    Private(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks)
        : listing(listing)
        , direction(direction)
        , cipherActive(cipherActive)
        , hooks(std::move(hooks))
        , folders(listing)
    {
    }

    bool cancelled() const { return hooks.cancel && hooks.cancel->load(std::memory_order_relaxed); }

    Slot prepare(int index, bool flushNow);
    void flushGroup(std::vector<Slot> &group);
    void commit(Slot &slot);
    void settle(std::vector<Slot> &group, int settledCount);
    void count(const Slot &slot);

    const FolderListing &listing;
    const Direction direction;
    const bool cipherActive;
    const Hooks hooks;
    Folders folders;
    // Files this batch replaced, by where they are: a file listed twice (a
    // link inside the folder) is then still recognised.
    QHash<QPair<int, QByteArray>, ino_t> rewritten;
    BatchSummary summary;
};

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
        return std::move(slot);
    };

    Folders::Status status;
    const int folder = folders.open(file.folder, &status);
    if (folder < 0) {
        return skip(status == Folders::Status::Swapped      ? actionlines::kSwappedAfterWalk + path
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
    const auto key = qMakePair(file.folder, file.name);
    if (info.st_dev != file.device || (info.st_ino != file.inode && rewritten.value(key) != info.st_ino))
        return skip(actionlines::kSwappedAfterWalk + path);

    char header[marker::kHeaderSize];
    const qint64 headerLength = input.peekStart(header, qint64(sizeof header));
    const bool encrypted = headerLength > 0
        && marker::startsWithHeader(reinterpret_cast<const std::uint8_t *>(header), std::size_t(headerLength));
    slot.inState = encrypted == (direction == Direction::Encrypt);
    if (direction == Direction::Encrypt && encrypted)
        return skip(actionlines::kSkipPrefix + path + actionlines::kAlreadyEncrypted);
    if (direction == Direction::Decrypt && !encrypted)
        return skip(actionlines::kSkipPrefix + path + actionlines::kAlreadyPlain);

    Control control{[&slot](const QString &line) { slot.lines << line; }, hooks.cancel, hooks.fileProgress};
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
        return slot;
    }
    slot.replacement = transform.takeReplacement();
    const Texts &texts = textsFor(direction);
    if (!transform.readWhole()) {
        // Cut short while read: judged again when its turn comes.
        slot.replacement.reset();
        slot.lines << texts.changed + path;
        slot.state = State::Failed;
        return slot;
    }
    if (!slot.replacement->finish(flushNow)) {
        slot.lines << texts.writeFailed + path + loglines::kReasonSeparator + slot.replacement->errorString();
        slot.replacement.reset();
        slot.state = State::Failed;
        return slot;
    }
    if (!slot.replacement->attributesNotKept().isEmpty())
        slot.lines << texts.attributesNotKept + path + loglines::kReasonSeparator
                          + slot.replacement->attributesNotKept().join(QLatin1String(", "));
    folders.pin(file.folder);
    slot.input = std::move(opened);
    slot.folder = folder;
    slot.device = info.st_dev;
    slot.state = State::Ready;
    return slot;
}

// The group's new files reach the disk with one flush per file system, or
// with their own flush when alone.
void BatchEngine::Private::flushGroup(std::vector<Slot> &group)
{
    std::vector<Slot *> ready;
    for (Slot &slot : group) {
        if (slot.state == State::Ready)
            ready.push_back(&slot);
    }
    auto fail = [this](Slot &slot, const QString &reason) {
        slot.lines << textsFor(direction).writeFailed + listing.paths.at(slot.index) + loglines::kReasonSeparator
                          + reason;
        slot.replacement.reset();
        slot.state = State::Failed;
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
    if (slot.state != State::Ready)
        return;
    const QString &path = listing.paths.at(slot.index);
    const Texts &texts = textsFor(direction);
    const WalkedFile &file = listing.files[std::size_t(slot.index)];
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (slot.replacement->commit()) {
        case Replacement::Committed::Done:
            rewritten.insert(qMakePair(file.folder, file.name), slot.replacement->newInfo().st_ino);
            slot.replacement.reset();
            slot.state = State::Done;
            return;
        case Replacement::Committed::Failed:
            slot.lines << texts.writeFailed + path + loglines::kReasonSeparator + slot.replacement->errorString();
            slot.replacement.reset();
            slot.state = State::Failed;
            return;
        case Replacement::Committed::Changed:
            break;
        }
        if (attempt == 1) {
            slot.lines << texts.changed + path;
            slot.replacement.reset();
            slot.state = State::Failed;
            return;
        }
        // Changed since it was written ahead: judged afresh now that its
        // turn has come, exactly as if it had not been read before.
        slot = prepare(slot.index, true);
        if (slot.state != State::Ready)
            return;
    }
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
void BatchEngine::Private::settle(std::vector<Slot> &group, int settledCount)
{
    std::map<int, int> folderErrors;
    for (int i = 0; i < settledCount; ++i) {
        const Slot &slot = group[std::size_t(i)];
        if (slot.state == State::Done && !folderErrors.count(slot.folder))
            folderErrors[slot.folder] = ::fsync(slot.folder) == 0 ? 0 : errno;
    }
    const QString &output = direction == Direction::Encrypt ? actionlines::kEncryptedOutput
                                                            : actionlines::kDecryptedOutput;
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
        if (slot.input)
            slot.input->closeLater();
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

BatchSummary BatchEngine::run()
{
    const int total = d->listing.paths.size();
    int next = 0;
    int settled = 0;
    bool stopped = false;
    while (next < total && !stopped) {
        // Write ahead: the group's replacements, none of them in place yet.
        std::vector<Slot> group;
        qint64 bytes = 0;
        while (next < total && int(group.size()) < kGroupFiles && bytes < kGroupBytes) {
            if (d->cancelled()) {
                stopped = true;
                break;
            }
            // A large file starts a group of its own: the files before it
            // are put in place first instead of waiting for it.
            if (!group.empty() && d->listing.files[std::size_t(next)].size >= kLargeFile)
                break;
            group.push_back(d->prepare(next++, false));
            const Slot &slot = group.back();
            if (slot.state == State::Cancelled) {
                stopped = true;
                break;
            }
            const qint64 written = slot.replacement ? slot.replacement->written() : 0;
            bytes += written;
            if (written >= kLargeFile)
                break;
        }
        if (stopped)
            break; // nothing of this group was put in place
        d->flushGroup(group);

        // In place, in order, each once the caller has seen the one before.
        int settledInGroup = 0;
        for (Slot &slot : group) {
            if (d->cancelled()) {
                stopped = true;
                break;
            }
            d->commit(slot);
            ++settledInGroup;
            if (d->hooks.settled && !d->hooks.settled(slot.index)) {
                stopped = true;
                break;
            }
        }
        d->settle(group, settledInGroup);
        settled += settledInGroup;
        d->folders.unpinAll();
    }
    d->summary.left = total - settled;
    return d->summary;
}

QString batchSummaryLine(Direction direction, const BatchSummary &summary)
{
    using namespace actionlines;
    const bool encrypting = direction == Direction::Encrypt;
    QString line = summary.left > 0
        ? (encrypting ? kEncryptBatchCancelled : kDecryptBatchCancelled)
              .arg(summary.done)
              .arg(summary.skipped)
              .arg(summary.failed)
              .arg(summary.left)
        : (encrypting ? kEncryptBatchDone : kDecryptBatchDone).arg(summary.done).arg(summary.skipped).arg(summary.failed);
    if (!summary.failedPaths.isEmpty()) {
        constexpr int kNamed = 20;
        line += kFailedFilesNamed + summary.failedPaths.mid(0, kNamed).join(kFailedFileSeparator);
        if (summary.failedPaths.size() > kNamed)
            line += kMoreFailedFiles.arg(summary.failedPaths.size() - kNamed);
    }
    return line;
}
