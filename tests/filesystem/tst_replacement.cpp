// A replacement through its own interface: the new file is the old one to
// everyone but its bytes, reaches the disk before its name does, and any
// failure leaves the original byte for byte and no temporary file.
#include "SystemError.h"
#include "TestFiles.h"
#include "filesystem/Folder.h"
#include "filesystem/Replacement.h"
#include "transform/FileCrypt.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace vaultine;

using testfiles::entries;

// The calls that make a replacement durable, in the order they are made,
// and unnamed temporary files refused at will (as on FAT).
namespace calls {

std::mutex lock;
QStringList seen;
bool refuseUnnamed = false;
// A FAT mount not the user's own: any mode change refused.
bool fat = false;
// The write-back calls that fail as on a failing disk: those that wait for
// it (true) or those that only start it (false); -1: none.
int failingWriteBack = -1;
// /proc not mounted, and files that cannot be opened for reading.
bool noProc = false;
bool unreadable = false;

bool inProc(const char *path)
{
    return noProc && std::strncmp(path, "/proc/", 6) == 0;
}

void record(const char *what)
{
    std::lock_guard<std::mutex> guard(lock);
    seen << QString::fromLatin1(what);
}

QStringList take()
{
    std::lock_guard<std::mutex> guard(lock);
    QStringList taken;
    taken.swap(seen);
    return taken;
}

template <typename F>
F next(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace calls

extern "C" int fsync(int fd)
{
    static const auto real = calls::next<int (*)(int)>("fsync");
    struct stat info;
    calls::record(::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? "flush folder" : "flush file");
    return real(fd);
}

extern "C" int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    static const auto real = calls::next<int (*)(int, const char *, int, const char *)>("renameat");
    calls::record("rename");
    return real(fromDir, from, toDir, to);
}

extern "C" int openat(int dir, const char *path, int flags, ...)
{
    static const auto real = calls::next<int (*)(int, const char *, int, ...)>("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    if (calls::unreadable && (flags & O_ACCMODE) == O_RDONLY && !(flags & O_DIRECTORY)) {
        errno = EACCES;
        return -1;
    }
    if (calls::refuseUnnamed && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(dir, path, flags, mode);
}

extern "C" int sync_file_range(int fd, off64_t offset, off64_t length, unsigned int flags)
{
    static const auto real = calls::next<int (*)(int, off64_t, off64_t, unsigned int)>("sync_file_range");
    if (calls::failingWriteBack == int((flags & SYNC_FILE_RANGE_WAIT_AFTER) != 0)) {
        errno = EIO;
        return -1;
    }
    return real(fd, offset, length, flags);
}

extern "C" ssize_t llistxattr(const char *path, char *names, size_t size)
{
    static const auto real = calls::next<ssize_t (*)(const char *, char *, size_t)>("llistxattr");
    if (calls::inProc(path)) {
        errno = ENOENT;
        return -1;
    }
    return real(path, names, size);
}

extern "C" ssize_t lgetxattr(const char *path, const char *name, void *value, size_t size)
{
    static const auto real = calls::next<ssize_t (*)(const char *, const char *, void *, size_t)>("lgetxattr");
    if (calls::inProc(path)) {
        errno = ENOENT;
        return -1;
    }
    return real(path, name, value, size);
}

extern "C" int fchmod(int fd, mode_t mode)
{
    static const auto real = calls::next<int (*)(int, mode_t)>("fchmod");
    if (calls::fat) {
        errno = EPERM;
        return -1;
    }
    return real(fd, mode);
}

extern "C" int fstatfs(int fd, struct statfs *info)
{
    static const auto real = calls::next<int (*)(int, struct statfs *)>("fstatfs");
    const int result = real(fd, info);
    if (result == 0 && calls::fat)
        info->f_type = 0x4d44; // MSDOS_SUPER_MAGIC
    return result;
}

class TestReplacement : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Folder m_folder;
    FileState m_existing;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A replacement of `name`, opened, unnamed or named while written as the
    // row asks. `content` null: `name` is to be new; otherwise the file is
    // made with it first.
    std::unique_ptr<Replacement> replacing(const QString &name, const QByteArray &content)
    {
        QFETCH(bool, named);
        calls::refuseUnnamed = named;
        if (!content.isNull()) {
            if (!testfiles::writeAll(path(name), content))
                return nullptr;
            m_existing = stateOf(m_folder, name);
        }
        auto replacement = std::make_unique<Replacement>(m_folder, name, content.isNull() ? nullptr : &m_existing);
        return replacement->open() == Replacement::Opened::Ok ? std::move(replacement) : nullptr;
    }

    static void addTemporaryKinds()
    {
        QTest::addColumn<bool>("named");
        QTest::newRow("unnamed while written") << false;
        QTest::newRow("named while written") << true;
    }

    // `name`'s current state, for a replacement of it.
    static FileState stateOf(const Folder &folder, const QString &name)
    {
        FileState state;
        folder.lookUp(name, &state);
        return state;
    }

private slots:
    void initTestCase() { QCOMPARE(m_folder.open(m_dir.path()), Folder::Opened::Ok); }
    void init()
    {
        calls::refuseUnnamed = false;
        calls::fat = false;
        calls::failingWriteBack = -1;
        calls::noProc = false;
        calls::unreadable = false;
        calls::take();
    }
    void cleanup()
    {
        for (const QString &name : entries(m_dir.path()))
            QFile::remove(path(name));
    }

    // On FAT the mode is the mount's: a refused mode change is no failure,
    // as a plain save would not have changed it either.
    void aModeTheFileSystemCannotHoldIsNoFailure()
    {
        const QString file = path("run.bat");
        QVERIFY(testfiles::writeAll(file, "old"));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 04755), 0); // set-id: never the new file's own
        const FileState existing = stateOf(m_folder, "run.bat");
        calls::fat = true;
        Replacement replacement(m_folder, "run.bat", &existing);
        QCOMPARE(replacement.open(), Replacement::Opened::Ok);
        QVERIFY(replacement.write("new", 3));
        QVERIFY2(replacement.finish(Replacement::Flush::Now), qPrintable(replacement.errorString()));
        QCOMPARE(replacement.commit(), Replacement::Committed::Done);
        QCOMPARE(testfiles::readAll(file), QByteArray("new"));
    }

    void keepsModeOwnerAndAttributes_data()
    {
        addTemporaryKinds();
        QTest::newRow("without /proc") << false;
    }
    void keepsModeOwnerAndAttributes()
    {
        QFETCH(bool, named);
        calls::refuseUnnamed = named;
        calls::noProc = QByteArray(QTest::currentDataTag()) == "without /proc";
        const QString file = path("kept.txt");
        const QByteArray local = QFile::encodeName(file);
        QVERIFY(testfiles::writeAll(file, "old content"));
        QCOMPARE(::chmod(local.constData(), 02640), 0);
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(local.constData(), 4321, 4322), 0);
        const bool attributes = ::setxattr(local.constData(), "user.origin", "kept", 4, 0) == 0;
        struct stat before;
        QCOMPARE(::stat(local.constData(), &before), 0);

        const FileState existing = stateOf(m_folder, "kept.txt");
        Replacement replacement(m_folder, "kept.txt", &existing);
        QCOMPARE(replacement.open(), Replacement::Opened::Ok);
        QVERIFY(replacement.write("new content", 11));
        QVERIFY(replacement.finish(Replacement::Flush::Now));
        QVERIFY(replacement.attributesNotKept().isEmpty());
        QCOMPARE(replacement.commit(), Replacement::Committed::Done);

        QCOMPARE(testfiles::readAll(file), QByteArray("new content"));
        struct stat after;
        QCOMPARE(::stat(local.constData(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(after.st_mode & 07777, mode_t(02640));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        if (attributes) {
            char value[16] = {};
            QCOMPARE(::getxattr(local.constData(), "user.origin", value, sizeof value), ssize_t(4));
            QCOMPARE(QByteArray(value), QByteArray("kept"));
        }
        QCOMPARE(entries(m_dir.path()), QStringList{"kept.txt"});
    }

    // Neither by /proc nor by a handle of the file: the attributes cannot be
    // read, and the caller hears of it.
    void attributesThatCannotBeReadAreReported()
    {
        const QString file = path("hidden.txt");
        QVERIFY(testfiles::writeAll(file, "old"));
        const FileState existing = stateOf(m_folder, "hidden.txt");
        Replacement replacement(m_folder, "hidden.txt", &existing);
        QCOMPARE(replacement.open(), Replacement::Opened::Ok);
        QVERIFY(replacement.write("new", 3));
        calls::noProc = true;
        calls::unreadable = true;
        QVERIFY(replacement.finish(Replacement::Flush::Now));
        QCOMPARE(replacement.attributesNotKept(), QStringList{systemErrorText(EACCES)});
    }

    // The new content is on disk before the name points at it, and the
    // name before the file counts as done.
    void flushesTheContentBeforeTheRenameAndTheFolderAfter()
    {
        const QString file = path("durable.txt");
        QVERIFY(testfiles::writeAll(file, "durable"));
        QStringList lines;
        QCOMPARE(filecrypt::encryptFile(file, file, true, [&](const QString &line) { lines << line; }), 0);
        QCOMPARE(calls::take(), QStringList({"flush file", "rename", "flush folder"}));
        QCOMPARE(lines, QStringList{"加密：文件大小：7"});
    }

    void aWriteErrorLeavesTheOriginal_data() { addTemporaryKinds(); }
    void aWriteErrorLeavesTheOriginal()
    {
        {
            const auto replacement = replacing("small.txt", "keep me");
            QVERIFY(replacement);
            // No file of this process may grow past 4 KiB: the write fails
            // as on a full disk.
            struct rlimit saved;
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
            const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = saved;
            small.rlim_cur = 4096;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
            const QByteArray big(8192, 'x');
            const bool written = replacement->write(big.constData(), big.size());
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, savedSignal);
            QVERIFY(!written);
            QCOMPARE(replacement->errorString(), systemErrorText(EFBIG));
        }
        QCOMPARE(testfiles::readAll(path("small.txt")), QByteArray("keep me"));
        QCOMPARE(entries(m_dir.path()), QStringList{"small.txt"});
    }

    // The kernel reports a write-back error once to each open file: a call
    // that reports it leaves the flush after it nothing to say.
    void aWriteBackErrorFailsTheFile_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<bool>("waiting");
        QTest::addColumn<int>("mebibytes");
        QTest::newRow("starting write-back") << false << false << 80;
        QTest::newRow("waiting for write-back") << false << true << 80;
        QTest::newRow("asked after the flush") << true << true << 0;
    }
    void aWriteBackErrorFailsTheFile()
    {
        QFETCH(bool, waiting);
        QFETCH(int, mebibytes);
        {
            const auto replacement = replacing("large.bin", "keep me");
            QVERIFY(replacement);
            calls::failingWriteBack = waiting ? 1 : 0;
            // Large files: past the point where write-back is waited for.
            const QByteArray mebibyte(1 << 20, 'x');
            bool written = true;
            for (int i = 0; i < mebibytes && written; ++i)
                written = replacement->write(mebibyte.constData(), mebibyte.size());
            written = written && replacement->finish(Replacement::Flush::Now) && replacement->confirmWrittenBack();
            QVERIFY(!written);
            QCOMPARE(replacement->errorString(), systemErrorText(EIO));
        }
        QCOMPARE(testfiles::readAll(path("large.bin")), QByteArray("keep me"));
        QCOMPARE(entries(m_dir.path()), QStringList{"large.bin"});
    }

    void aFileChangedMeanwhileIsNotReplaced_data() { addTemporaryKinds(); }
    void aFileChangedMeanwhileIsNotReplaced()
    {
        const auto replacement = replacing("busy.txt", "first");
        QVERIFY(replacement);
        QVERIFY(replacement->write("ours", 4));
        QVERIFY(replacement->finish(Replacement::Flush::Now));
        const QString file = path("busy.txt");
        QFile other(file);
        QVERIFY(other.open(QIODevice::Append));
        QCOMPARE(other.write(" and theirs"), qint64(11));
        other.close();
        QCOMPARE(replacement->commit(), Replacement::Committed::Changed);
        QCOMPARE(testfiles::readAll(file), QByteArray("first and theirs"));
        QCOMPARE(entries(m_dir.path()), QStringList{"busy.txt"});
    }

    void aNewFileNeverReplacesOneThatAppeared_data() { addTemporaryKinds(); }
    void aNewFileNeverReplacesOneThatAppeared()
    {
        const auto replacement = replacing("new.txt", QByteArray());
        QVERIFY(replacement);
        QVERIFY(replacement->write("ours", 4));
        QVERIFY(replacement->finish(Replacement::Flush::Now));
        QVERIFY(testfiles::writeAll(path("new.txt"), "someone else's"));
        QCOMPARE(replacement->commit(), Replacement::Committed::Changed);
        QCOMPARE(testfiles::readAll(path("new.txt")), QByteArray("someone else's"));
        QCOMPARE(entries(m_dir.path()), QStringList{"new.txt"});
    }
};

QTEST_GUILESS_MAIN(TestReplacement)
#include "tst_replacement.moc"
