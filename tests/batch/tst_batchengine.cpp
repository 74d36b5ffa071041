// A folder batch through the engine's own interface: files go in groups with
// one flush each (each file flushed where that is not enough), a file
// changed after it was written ahead is read again, one short of room or
// handles is tried again alone, a cancel leaves the rest alone, and entries
// swapped after the walk are never followed.
#include "TestFiles.h"
#include "batch/BatchEngine.h"
#include "batch/FolderWalk.h"
#include "format/Marker.h"
#include "jobs/FolderJob.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

using namespace vaultine;

namespace flushes {

std::atomic<int> fileSystems{0};
std::atomic<int> files{0};
std::atomic<int> failing{0}; // this flush of a file system fails (1: the first)
// Of the files asked after their file system's flush, this one finds that
// its data did not reach the disk (1: the first).
std::atomic<int> confirmed{0};
std::atomic<int> failingConfirm{0};

} // namespace flushes

extern "C" int sync_file_range(int fd, off64_t offset, off64_t length, unsigned int flags)
{
    static const auto real =
        reinterpret_cast<int (*)(int, off64_t, off64_t, unsigned int)>(::dlsym(RTLD_NEXT, "sync_file_range"));
    const unsigned int waited = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (offset == 0 && length == 0 && flags == waited && ++flushes::confirmed == flushes::failingConfirm) {
        errno = EIO;
        return -1;
    }
    return real(fd, offset, length, flags);
}

extern "C" int syncfs(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "syncfs"));
    if (++flushes::fileSystems == flushes::failing) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        ++flushes::files;
    return real(fd);
}

// Faults at will: a file system that says it is FUSE, writes that find the
// disk full, opens that find the process's handles used up.
namespace faults {

std::atomic<bool> fuse{false};
std::atomic<int> fullWrites{0}; // the next so many writes of files
std::atomic<int> fullChunks{0}; // the next so many writes of a whole chunk
std::atomic<int> busyOpens{0};  // the next so many opens of files to read
// While armed, files whose content holds it never fit, or whose name holds
// it never open.
const char *const kNever = "never";
std::atomic<bool> neverFits{false};
std::atomic<bool> neverOpens{false};
// Files whose name holds it cannot be read, and names that hold it cannot
// be removed.
const char *const kDenied = "denied";
const char *const kStuck = "Stuck";
std::atomic<bool> denied{false};

bool takeOne(std::atomic<int> &count)
{
    int left = count.load();
    while (left > 0 && !count.compare_exchange_weak(left, left - 1)) { }
    return left > 0;
}

} // namespace faults

extern "C" int fstatfs(int fd, struct statfs *info)
{
    static const auto real = reinterpret_cast<int (*)(int, struct statfs *)>(::dlsym(RTLD_NEXT, "fstatfs"));
    const int result = real(fd, info);
    if (result == 0 && faults::fuse)
        info->f_type = 0x65735546;
    return result;
}

extern "C" ssize_t write(int fd, const void *data, size_t length)
{
    static const auto real = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(::dlsym(RTLD_NEXT, "write"));
    struct stat info;
    if (length > 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && ((faults::neverFits && ::memmem(data, length, faults::kNever, std::strlen(faults::kNever)))
            || faults::takeOne(faults::fullWrites) || (length >= (1u << 20) && faults::takeOne(faults::fullChunks)))) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, length);
}

extern "C" int openat(int dir, const char *path, int flags, ...)
{
    static const auto real = reinterpret_cast<int (*)(int, const char *, int, ...)>(::dlsym(RTLD_NEXT, "openat"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    const bool input = (flags & O_ACCMODE) == O_RDONLY && (flags & O_NOFOLLOW) && !(flags & O_DIRECTORY);
    if (input && ((faults::neverOpens && std::strstr(path, faults::kNever)) || faults::takeOne(faults::busyOpens))) {
        errno = EMFILE;
        return -1;
    }
    if (input && faults::denied && std::strstr(path, faults::kDenied)) {
        errno = EACCES;
        return -1;
    }
    return real(dir, path, flags, mode);
}

extern "C" int unlinkat(int dir, const char *path, int flags)
{
    static const auto real = reinterpret_cast<int (*)(int, const char *, int)>(::dlsym(RTLD_NEXT, "unlinkat"));
    if (faults::denied && std::strstr(path, faults::kStuck)) {
        errno = EPERM;
        return -1;
    }
    return real(dir, path, flags);
}

// Threads the engine starts.
std::atomic<int> threadsStarted{0};

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*run)(void *), void *argument)
{
    static const auto real = reinterpret_cast<int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *)>(
        ::dlsym(RTLD_NEXT, "pthread_create"));
    ++threadsStarted;
    return real(thread, attributes, run, argument);
}

// The names of the process's threads now, but this one's.
static QStringList otherThreads()
{
    QStringList names;
    const QString self = QString::number(::gettid());
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (task != self)
            names << QString::fromUtf8(testfiles::readAll("/proc/self/task/" + task + "/comm")).trimmed();
    }
    return names;
}

class TestBatchEngine : public QObject
{
    Q_OBJECT

    QStringList m_lines;
    std::atomic<bool> m_cancel{false};

    static bool isEncrypted(const QString &path)
    {
        const QByteArray bytes = testfiles::readAll(path);
        return marker::startsWithHeader(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                        std::size_t(bytes.size()));
    }

    // `count` files named f00.txt, f01.txt, … in `folder`.
    static void makeFiles(const QString &folder, int count)
    {
        for (int i = 0; i < count; ++i)
            QVERIFY(testfiles::writeAll(folder + QString::asprintf("/f%02d.txt", i), "plain " + QByteArray::number(i)));
    }

    FolderListing walk(const QString &folder)
    {
        const FolderListing listing = walkFolder(folder, [](const QString &) {});
        m_lines.clear();
        return listing;
    }

    BatchEngine::Hooks hooks(std::function<bool(int)> settled = {})
    {
        BatchEngine::Hooks hooks;
        hooks.log = [this](const QString &line) { m_lines << line; };
        hooks.settled = std::move(settled);
        hooks.cancel = &m_cancel;
        return hooks;
    }

private slots:
    void init()
    {
        m_cancel = false;
        m_lines.clear();
    }

    void cleanup()
    {
        flushes::failing = 0;
        flushes::failingConfirm = 0;
        faults::fuse = false;
        faults::fullWrites = 0;
        faults::fullChunks = 0;
        faults::busyOpens = 0;
        faults::neverFits = false;
        faults::neverOpens = false;
        faults::denied = false;
    }

    // Where one flush of the file system may not reach the disk, each file
    // is on disk before its name.
    void onFuseEachFileIsFlushedBeforeItIsRenamed()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), 5);
        const FolderListing listing = walk(dir.path());
        faults::fuse = true;
        flushes::fileSystems = 0;
        flushes::files = 0;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(summary.done, 5);
        QCOMPARE(flushes::fileSystems.load(), 0);
        QCOMPARE(flushes::files.load(), 5);
    }

    // Full disk or no handle left while other files were in flight: tried
    // again alone, so that only a file that cannot be done alone fails, and
    // says why.
    void aShortageIsTriedAgainAlone_data()
    {
        QTest::addColumn<bool>("room");
        QTest::newRow("disk full") << true;
        QTest::newRow("no handle left") << false;
    }

    void aShortageIsTriedAgainAlone()
    {
        QFETCH(bool, room);
        QTemporaryDir dir;
        makeFiles(dir.path(), 8);
        const QString never = dir.filePath("never.txt");
        QVERIFY(testfiles::writeAll(never, "never fits"));
        const FolderListing listing = walk(dir.path());
        (room ? faults::fullWrites : faults::busyOpens) = 3;
        (room ? faults::neverFits : faults::neverOpens) = true;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, false, hooks()).run();
        cleanup();
        QCOMPARE(summary.done, 8);
        QCOMPARE(summary.failed, 1);
        QCOMPARE(summary.failedPaths, QStringList{never});
        QCOMPARE(m_lines.filter("加密文件已输出到:").size(), 8);
        const QString why =
            room ? "加密：写入文件失败，原文件保持不变 " + never + "：" + QString::fromLocal8Bit(strerror(ENOSPC))
                 : "打开的文件数已达到系统允许的上限，文件未处理：" + never;
        QVERIFY2(m_lines.contains(why), qPrintable(m_lines.join('\n')));
        QCOMPARE(testfiles::readAll(never), QByteArray("never fits"));
    }

    // A file of several chunks is written on a thread of its own: its
    // shortage still reaches the batch, which tries it again alone.
    void aFileWrittenOnItsOwnThreadIsTriedAgainWhenShortOfRoom()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), 6);
        const QString large = dir.filePath("large.bin");
        QVERIFY(testfiles::writeAll(large, QByteArray(9 << 20, 'x')));
        const FolderListing listing = walk(dir.path());
        faults::fullChunks = 1;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(faults::fullChunks.load(), 0);
        QCOMPARE(summary.failed, 0);
        QCOMPARE(summary.done, 7);
        QVERIFY(isEncrypted(large));
        QVERIFY2(m_lines.filter("写入文件失败").isEmpty(), qPrintable(m_lines.join('\n')));
    }

    // The summary counts as failed every file that was not done for want of
    // reading it or reaching it, and names every leftover of an interrupted
    // rewrite that stays; a leftover that can only be redundant is removed.
    void theSummaryPassesOverNothing()
    {
        QTemporaryDir dir;
        QVERIFY(testfiles::writeAll(dir.filePath("a.txt"), "plain a"));
        const QString denied = dir.filePath("denied.txt");
        QVERIFY(testfiles::writeAll(denied, "plain too"));
        const QString redundant = dir.filePath(".keystrel-AbC123"), stuck = dir.filePath(".keystrel-Stuck0");
        QVERIFY(testfiles::writeAll(redundant, "a plain copy") && testfiles::writeAll(stuck, "another"));
        const QByteArray odd = "caf\xe9.txt";
        const bool oddUnreachable = QFile::encodeName(QFile::decodeName(odd)) != odd;
        if (oddUnreachable) {
            FILE *created = std::fopen((QFile::encodeName(dir.path()) + '/' + odd).constData(), "w");
            QVERIFY(created);
            std::fclose(created);
        }
        QStringList walked;
        const FolderListing listing = walkFolder(dir.path(), [&](const QString &line) { walked << line; });
        QCOMPARE(listing.leftovers.size(), std::size_t(2));
        faults::denied = true;
        jobs::FolderJob job(dir.path(), listing, jobs::Asked::Encrypt, true);
        QVERIFY(job.start(hooks().log));
        const BatchSummary summary = job.run(hooks());
        cleanup();

        QStringList failed = listing.unreachable;
        failed << denied;
        QCOMPARE(failed.size(), oddUnreachable ? 2 : 1);
        QCOMPARE(summary.failedPaths, failed);
        QCOMPARE(summary.leftovers, QStringList{stuck});
        QCOMPARE(m_lines.last(),
                 QString("批量加密完成：加密1个，跳过0个，失败%1个。失败的文件：%2。留下的临时文件（可能含有明文）：%3")
                     .arg(failed.size())
                     .arg(failed.join("、"))
                     .arg(stuck));
        QVERIFY(m_lines.contains("已删除中断的加解密留下的临时文件（原文件未被改动）：" + redundant));
        QVERIFY(m_lines.contains("无法删除中断的加解密留下的临时文件（可能含有明文）：" + stuck + "："
                                 + QString::fromLocal8Bit(strerror(EPERM))));
        QVERIFY(m_lines.contains("文件无法读取，跳过：" + denied));
        QVERIFY(!QFile::exists(redundant));
        QCOMPARE(testfiles::readAll(denied), QByteArray("plain too"));
    }

    void aFileChangedAfterItWasWrittenAheadIsReadAgain()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), 5);
        const FolderListing listing = walk(dir.path());
        const QString changed = dir.filePath("f03.txt");
        // When the first file is in place, the others are written ahead.
        BatchEngine engine(listing, Direction::Encrypt, false, hooks([&](int index) {
                               if (index == 0)
                                   testfiles::writeAll(changed, "changed meanwhile");
                               return true;
                           }));
        const BatchSummary summary = engine.run();
        QCOMPARE(summary.done, 5);
        QCOMPARE(summary.failed, 0);
        // The cipher is off: what was encrypted shows through the header.
        QCOMPARE(testfiles::readAll(changed),
                 QByteArray("has been encrypt\0", 17) + "changed meanwhile" + QByteArray(15, ' '));
        QCOMPARE(m_lines.filter("加密文件已输出到:").size(), 5);
    }

    void aCancelLeavesTheFilesNotYetSettled()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), 6);
        const FolderListing listing = walk(dir.path());
        BatchEngine engine(listing, Direction::Encrypt, true, hooks([&](int index) {
                               if (index == 1)
                                   m_cancel = true;
                               return true;
                           }));
        const BatchSummary summary = engine.run();
        QCOMPARE(summary.done, 2);
        QCOMPARE(summary.left, 4);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(isEncrypted(listing.paths.at(i)), i < 2);
        QCOMPARE(testfiles::entries(dir.path()).size(), 6);
    }

    void entriesSwappedAfterTheWalkAreNotFollowed()
    {
        QTemporaryDir dir, outside;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(testfiles::writeAll(dir.filePath("sub/a.txt"), "inside"));
        QVERIFY(testfiles::writeAll(dir.filePath("b.txt"), "inside too"));
        QVERIFY(testfiles::writeAll(outside.filePath("a.txt"), "outside"));
        QVERIFY(testfiles::writeAll(outside.filePath("b.txt"), "outside too"));
        const FolderListing listing = walk(dir.path());
        QCOMPARE(listing.paths.size(), 2);
        // Someone who may write into the folder swaps both for links.
        QVERIFY(QDir(dir.filePath("sub")).removeRecursively());
        QVERIFY(QFile::link(outside.path(), dir.filePath("sub")));
        QVERIFY(QFile::remove(dir.filePath("b.txt")));
        QVERIFY(QFile::link(outside.filePath("b.txt"), dir.filePath("b.txt")));

        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(summary.skipped, 2);
        QCOMPARE(summary.done, 0);
        QCOMPARE(m_lines, QStringList({"文件或其所在文件夹在遍历后被替换，跳过：" + listing.paths.at(0),
                                       "文件或其所在文件夹在遍历后被替换，跳过：" + listing.paths.at(1)}));
        QCOMPARE(testfiles::readAll(outside.filePath("a.txt")), QByteArray("outside"));
        QCOMPARE(testfiles::readAll(outside.filePath("b.txt")), QByteArray("outside too"));
    }

    // Hidden entries are left out but counted, the first named in walk
    // order; a cancel stops the walk at the next entry.
    void theWalkCountsHiddenEntriesAndStopsOnCancel()
    {
        QTemporaryDir dir;
        for (const char *folder : {"a/.git", "b", ".ssh"})
            QVERIFY(QDir(dir.path()).mkpath(folder));
        for (const char *file : {".env", "a/.x", "a/f.txt", "b/g.txt", ".ssh/id_rsa"})
            QVERIFY(testfiles::writeAll(dir.filePath(file), "x"));
        const FolderListing listing = walk(dir.path());
        QCOMPARE(listing.paths, QStringList({dir.filePath("a/f.txt"), dir.filePath("b/g.txt")}).toVector());
        QCOMPARE(listing.hidden, 4);
        QCOMPARE(listing.hiddenNamed, QStringList({".env", ".ssh", "a/.git", "a/.x"}));
        QVERIFY(!listing.cancelled);

        QStringList lines;
        const FolderListing cut = walkFolder(
            dir.path(),
            [&](const QString &line) {
                lines << line;
                m_cancel = m_cancel || line.startsWith("dir: ");
            },
            &m_cancel);
        QVERIFY(cut.cancelled);
        QVERIFY(cut.paths.isEmpty());
        QCOMPARE(lines, QStringList{"dir: " + dir.filePath("a")});
    }

    // A large file is written when its turn comes; cancelled then, its lines
    // still reach the log.
    void aLargeFileCancelledInTheBatchSaysSo()
    {
        QTemporaryDir dir;
        const QString large = dir.filePath("large.bin");
        QVERIFY(testfiles::writeAll(large, QByteArray(20 << 20, 'x')));
        const FolderListing listing = walk(dir.path());
        BatchEngine::Hooks cancelling = hooks();
        cancelling.fileProgress = [this](qint64, qint64) { m_cancel = true; };
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, cancelling).run();
        QCOMPARE(summary.left, 1);
        QCOMPARE(m_lines, QStringList({"加密：文件大小：20971520", "加密：已取消，原文件保持不变 " + large}));
    }

    // Groups in flight at once (one flushed while the next is written and
    // the one before is put in place): the group whose flush fails keeps
    // its files as they were, the others are done, and every line comes in
    // walk order.
    void aGroupWhoseFlushFailsAmongOthers()
    {
        QTemporaryDir dir;
        for (const char *folder : {"a", "b", "c"}) {
            QVERIFY(QDir().mkpath(dir.filePath(folder)));
            makeFiles(dir.filePath(folder), 90);
        }
        for (int i = 0; i < 4; ++i) {
            const QString folder = dir.filePath(QString::asprintf("d%d", i));
            QVERIFY(QDir().mkpath(folder));
            makeFiles(folder, 99);
        }
        const FolderListing listing = walk(dir.path());
        const int total = listing.paths.size();
        QCOMPARE(total, 666);
        flushes::fileSystems = 0;
        flushes::failing = 2;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QVERIFY(flushes::fileSystems.load() >= 3);
        QStringList lines;
        int firstFailed = -1, lastFailed = -1;
        for (int i = 0; i < total; ++i) {
            const QString &path = listing.paths.at(i);
            lines << "加密：文件大小：" + QString::number(listing.files[std::size_t(i)].size);
            if (isEncrypted(path)) {
                lines << "加密文件已输出到:" + path;
                continue;
            }
            lines << "加密：写入文件失败，原文件保持不变 " + path + "：" + QString::fromLocal8Bit(strerror(EIO));
            QVERIFY(testfiles::readAll(path).startsWith("plain "));
            firstFailed = firstFailed < 0 ? i : firstFailed;
            lastFailed = i;
        }
        // One whole group, neither the first nor the last.
        QVERIFY(firstFailed > 0 && lastFailed < total - 1);
        QCOMPARE(summary.failed, lastFailed - firstFailed + 1);
        QCOMPARE(summary.done, total - summary.failed);
        QCOMPARE(m_lines, lines);
    }

    // A write-back error that the group's flush did not report (another
    // flush of the file system saw it first) still fails its own file, and
    // only that one.
    void aWriteBackErrorReachesItsOwnFile()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), 30);
        const FolderListing listing = walk(dir.path());
        flushes::confirmed = 0;
        flushes::failingConfirm = 7;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(flushes::confirmed.load(), 30);
        QCOMPARE(summary.failed, 1);
        QCOMPARE(summary.done, 29);
        const QString failed = listing.paths.at(6);
        QCOMPARE(summary.failedPaths, QStringList{failed});
        QVERIFY(m_lines.contains("加密：写入文件失败，原文件保持不变 " + failed + "："
                                 + QString::fromLocal8Bit(strerror(EIO))));
        QVERIFY(!m_lines.contains("加密文件已输出到:" + failed));
        QVERIFY(testfiles::readAll(failed).startsWith("plain "));
    }

    // Last: it lowers the process's open-file limit for good. Two groups
    // must fit the limit, so 300 allows six files a group.
    void eachGroupIsFlushedOnce()
    {
        struct rlimit limit
        {
            300, 300
        };
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        QTemporaryDir dir;
        makeFiles(dir.path(), 20);
        const FolderListing listing = walk(dir.path());
        QList<int> settled;
        flushes::fileSystems = 0;
        flushes::files = 0;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks([&](int index) {
                                                     settled << index;
                                                     return true;
                                                 }))
                                         .run();
        QCOMPARE(summary.done, 20);
        QCOMPARE(flushes::fileSystems.load(), 4); // groups of 6, 6, 6 and 2
        QCOMPARE(flushes::files.load(), 0);
        QList<int> inOrder;
        for (int i = 0; i < 20; ++i)
            inOrder << i;
        QCOMPARE(settled, inOrder);
        QStringList lines;
        for (int i = 0; i < 20; ++i)
            lines << QString("加密：文件大小：%1").arg(6 + QByteArray::number(i).size())
                  << "加密文件已输出到:" + listing.paths.at(i);
        QCOMPARE(m_lines, lines);
    }

    // Groups of six (the limit above): the threads of a batch do not grow
    // with its groups, and none outlives it but the engine's closers.
    void aBatchsThreadsLiveForTheBatch()
    {
        QTemporaryDir dir;
        makeFiles(dir.path(), 90);
        const FolderListing listing = walk(dir.path());
        QStringList before = otherThreads();
        threadsStarted = 0;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(summary.done, 90);
        // Write, flush, settle, and the closers (at most eight).
        QVERIFY2(threadsStarted.load() <= 3 + 8, qPrintable(QString::number(threadsStarted.load())));
        for (const QString &name : otherThreads())
            QVERIFY2(name == "keystrel-close" || before.removeOne(name), qPrintable(name));
    }

    // After the ones above, lower still: a limit that cannot be raised is
    // shared out, and every file of many folders is done.
    void aLowOpenFileLimitIsSharedOut()
    {
        struct rlimit limit
        {
            48, 48
        };
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        QTemporaryDir dir;
        for (int i = 0; i < 80; ++i) {
            const QString folder = dir.filePath(QString::asprintf("d%02d", i));
            QVERIFY(QDir().mkpath(folder));
            makeFiles(folder, 3);
        }
        const FolderListing listing = walk(dir.path());
        QCOMPARE(listing.paths.size(), 240);
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(summary.done, 240);
        QCOMPARE(m_lines.filter("加密文件已输出到:").size(), 240);
    }

    // Lower still: groups go one at a time, and still hold several files
    // each instead of one file flushed at a time.
    void aVeryLowLimitStillGroupsFiles()
    {
        struct rlimit limit
        {
            20, 20
        };
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        QTemporaryDir dir;
        makeFiles(dir.path(), 60);
        const FolderListing listing = walk(dir.path());
        flushes::fileSystems = 0;
        flushes::files = 0;
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks()).run();
        QCOMPARE(summary.done, 60);
        QCOMPARE(flushes::files.load(), 0);
        QVERIFY2(flushes::fileSystems.load() <= 30, qPrintable(QString::number(flushes::fileSystems.load())));
    }
};

QTEST_GUILESS_MAIN(TestBatchEngine)
#include "tst_batchengine.moc"
