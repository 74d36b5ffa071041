// A folder batch through the engine's own interface: files go in groups with
// one flush each, a file changed after it was written ahead is read again,
// a cancel leaves the rest alone, and entries swapped after the walk are
// never followed.
#include "TestFiles.h"
#include "batch/BatchEngine.h"
#include "batch/FolderWalk.h"
#include "format/Marker.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace flushes {

std::atomic<int> fileSystems{0};
std::atomic<int> files{0};

} // namespace flushes

extern "C" int syncfs(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "syncfs"));
    ++flushes::fileSystems;
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
};

QTEST_GUILESS_MAIN(TestBatchEngine)
#include "tst_batchengine.moc"
