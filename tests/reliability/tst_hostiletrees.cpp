// Folder trees a user may drop without thinking: links that lead out of the
// dropped folder, ten thousand files, two hundred levels, names with line
// breaks, Chinese, emoji, bytes that are not UTF-8, names at the length
// limit, and folders that cannot be read. Nothing outside the dropped folder
// changes, every file is handled or reported, and nothing is lost.
#include "../form/FormDriver.h"
#include "LogRecorder.h"
#include "form/Form.h"

#include <QDir>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vaultine;

using namespace formdriver;

namespace {

// On tmpfs when there is one: thousands of replaces each end in a data sync.
QString fastTemplate()
{
    return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/keystrel-tree-XXXXXX")
                                     : QDir::tempPath() + "/keystrel-tree-XXXXXX";
}

bool makeFile(const QString &path, const QByteArray &content = "plain text")
{
    return QDir().mkpath(QFileInfo(path).path()) && write(path, content);
}

bool encrypted(const QString &path)
{
    return read(path).startsWith(header());
}

QString summary()
{
    const QStringList lines = logrecorder::lines();
    return lines.isEmpty() ? QString() : lines.last();
}

int linesStartingWith(const QString &prefix)
{
    int count = 0;
    for (const QString &line : logrecorder::lines())
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

} // namespace

// Runs `action` once, from the event loop, when the batch's dialog first
// shows a value of at least `value`.
class AtProgress : public QObject
{
public:
    AtProgress(QWidget *form, int value, std::function<void()> action)
    {
        connect(&timer, &QTimer::timeout, this, [=] {
            auto *dialog = form->findChild<QProgressDialog *>();
            if (!done && dialog && dialog->value() >= value) {
                done = true;
                action();
            }
        });
        timer.start(0);
    }
    bool done = false;

private:
    QTimer timer;
};

class TestHostileTrees : public QObject
{
    Q_OBJECT

private slots:
    void init() { logrecorder::clear(); }

    // Someone who can write into a dropped folder (a shared one) swaps, while
    // the batch runs, a file already read ahead, a folder and a file not yet
    // reached for links that lead outside. The batch follows none of them;
    // each is skipped with its line, and nothing outside changes.
    void swappedForLinksDuringTheBatch()
    {
        QTemporaryDir dir(fastTemplate());
        const QString dropped = dir.filePath("shared"), outside = dir.filePath("home");
        QVERIFY(makeFile(outside + "/.bashrc", "outside the drop")
                && makeFile(outside + "/victim.txt", "also outside"));
        for (int i = 0; i < 130; ++i)
            QVERIFY(makeFile(dropped + QStringLiteral("/a/f%1.txt").arg(i, 3, 10, QLatin1Char('0'))));
        QVERIFY(makeFile(dropped + "/b/victim.txt") && makeFile(dropped + "/c.txt"));
        const QString readAhead = dropped + "/a/f005.txt";
        auto swap = [](const QString &target, const QString &path) {
            return QDir(path).removeRecursively() | QFile::remove(path) && QFile::link(target, path);
        };
        Form form;
        form.show();
        bool swapped = false;
        AtProgress whenStarted(&form, 1, [&] {
            swapped = swap(outside + "/.bashrc", readAhead) && swap(outside, dropped + "/b")
                      && swap(outside + "/.bashrc", dropped + "/c.txt");
        });
        QVERIFY(drop(&form, localUrls({dropped})));
        QVERIFY(whenStarted.done && swapped);
        QCOMPARE(read(outside + "/.bashrc"), QByteArray("outside the drop"));
        QCOMPARE(read(outside + "/victim.txt"), QByteArray("also outside"));
        // Each is skipped as swapped, or as gone from the folder the batch
        // holds open (when that folder itself went, after it was opened).
        const QString swappedLine = QStringLiteral("文件或其所在文件夹在遍历后被替换，跳过：");
        const QString goneLine = QStringLiteral("文件已不存在或不是普通文件，跳过：");
        const QStringList lines = logrecorder::lines();
        for (const QString &path : {readAhead, dropped + "/c.txt"})
            QVERIFY2(lines.contains(swappedLine + path), qPrintable(path));
        const QString victim = dropped + "/b/victim.txt";
        QVERIFY2(lines.contains(swappedLine + victim) || lines.contains(goneLine + victim), qPrintable(victim));
        QCOMPARE(summary(), QStringLiteral("批量加密完成：加密129个，跳过3个，失败0个"));
        QVERIFY(QFileInfo(readAhead).isSymLink() && QFileInfo(dropped + "/b").isSymLink());
    }

    // A link to a file or a folder outside the dropped folder is not
    // followed: the batch changes nothing that was not dropped.
    void linksLeadingOutside()
    {
        QTemporaryDir dir;
        const QString outside = dir.filePath("outside");
        const QString dropped = dir.filePath("dropped");
        QVERIFY(makeFile(outside + "/precious.txt", "outside the drop") && makeFile(outside + "/sub/more.txt", "also"));
        QVERIFY(makeFile(dropped + "/own.txt"));
        QVERIFY(QFile::link(outside + "/precious.txt", dropped + "/file-link.txt"));
        QVERIFY(QFile::link(outside + "/sub", dropped + "/folder-link"));
        QVERIFY(QFile::link("../outside/precious.txt", dropped + "/relative-link.txt"));

        Form form;
        QVERIFY(drop(&form, localUrls({dropped})));
        QVERIFY(encrypted(dropped + "/own.txt"));
        QCOMPARE(read(outside + "/precious.txt"), QByteArray("outside the drop"));
        QCOMPARE(read(outside + "/sub/more.txt"), QByteArray("also"));
        QCOMPARE(form.collectedFiles().toList(), QStringList{dropped + "/own.txt"});
        // The links themselves stay links to the same targets.
        QCOMPARE(QFileInfo(dropped + "/file-link.txt").symLinkTarget(), outside + "/precious.txt");
        QCOMPARE(QFileInfo(dropped + "/folder-link").symLinkTarget(), outside + "/sub");
    }

    // A link inside the folder to another of its files: the file is
    // encrypted once, not twice.
    void linkToAFileInside()
    {
        QTemporaryDir dir;
        QVERIFY(makeFile(dir.filePath("a.txt"), "only once"));
        QVERIFY(QFile::link(dir.filePath("a.txt"), dir.filePath("b-link.txt")));
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(encrypted(dir.filePath("a.txt")));
        QVERIFY(QFileInfo(dir.filePath("b-link.txt")).isSymLink());
        QCOMPARE(form.decryptFile(dir.filePath("a.txt"), dir.filePath("a.txt")), 0);
        QCOMPARE(read(dir.filePath("a.txt")), QByteArray("only once"));
    }

    void tenThousandFiles()
    {
        QTemporaryDir dir(fastTemplate());
        const int count = 10000;
        for (int i = 0; i < count; ++i)
            QVERIFY(write(dir.filePath(QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0'))),
                          "file " + QByteArray::number(i)));
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(form.collectedFiles().size(), count);
        QCOMPARE(summary(), QStringLiteral("批量加密完成：加密10000个，跳过0个，失败0个"));
        const QStringList names = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(names.size(), count);
        for (const QString &name : names)
            QVERIFY2(encrypted(dir.filePath(name)), qPrintable(name));

        // And back again.
        logrecorder::clear();
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(summary(), QStringLiteral("批量解密完成：解密10000个，跳过0个，失败0个"));
        QCOMPARE(read(dir.filePath("f09999.txt")), QByteArray("file 9999"));
    }

    void twoHundredLevels()
    {
        QTemporaryDir dir(fastTemplate());
        QString folder = dir.path();
        QStringList files;
        for (int level = 0; level < 200; ++level) {
            folder += "/d";
            files.prepend(folder + "/level.txt");
        }
        for (const QString &file : qAsConst(files))
            QVERIFY(makeFile(file, "deep"));
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        // Subfolders first: the deepest file comes first.
        QCOMPARE(form.collectedFiles().toList(), files);
        QCOMPARE(summary(), QStringLiteral("批量加密完成：加密200个，跳过0个，失败0个"));
        QVERIFY(encrypted(files.first()) && encrypted(files.last()));
    }

    void unusualNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("line break") << QStringLiteral("first line\nsecond line.txt");
        QTest::newRow("carriage return and tab") << QStringLiteral("a\rb\tc.txt");
        QTest::newRow("Chinese") << QStringLiteral("机密文件（第二版）.txt");
        QTest::newRow("emoji") << QStringLiteral("🔒📁 notes 😀.txt");
        QTest::newRow("leading dash and spaces") << QStringLiteral("-rf  .txt ");
        QTest::newRow("255 ASCII bytes") << QString(251, QLatin1Char('n')) + ".txt";
        QTest::newRow("255 bytes of Chinese") << QString(85, QChar(0x5b57));
        QTest::newRow("248 bytes") << QString(244, QLatin1Char('m')) + ".txt";
    }

    // Every such file is encrypted and decrypted back like any other.
    void unusualNames()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(makeFile(path, "named oddly"));
        QVERIFY(makeFile(dir.filePath("plain.txt"), "ordinary"));
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(summary(), QStringLiteral("批量加密完成：加密2个，跳过0个，失败0个"));
        QVERIFY(encrypted(path));
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(read(path), QByteArray("named oddly"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
    }

    // A name in another encoding, as archives made on Windows bring them
    // (here "机密.txt" in GBK), cannot be named back through Qt: the file is
    // reported, never damaged, and never silently left out.
    void nameThatIsNotUtf8()
    {
        QTemporaryDir dir;
        const QByteArray raw = QFile::encodeName(dir.path()) + "/\xbb\xfa\xc3\xdc.txt";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "latin", 5), ssize_t(5));
        ::close(fd);
        QVERIFY(makeFile(dir.filePath("ok.txt")));
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(encrypted(dir.filePath("ok.txt")));
        const int back = ::open(raw.constData(), O_RDONLY);
        QVERIFY(back >= 0);
        char bytes[16] = {};
        QCOMPARE(::read(back, bytes, sizeof bytes), ssize_t(5));
        ::close(back);
        QCOMPARE(QByteArray(bytes), QByteArray("latin"));
        const QStringList lines = logrecorder::lines();
        ::unlink(raw.constData());
        // The log names it (as well as Qt can) among what was not handled.
        const QString shownName = QFile::decodeName(raw);
        const bool told = std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
            return line.contains(shownName) && !line.startsWith(QLatin1String("file: "));
        });
        QVERIFY2(told, qPrintable(lines.join('\n')));
    }

    // Folders below the path length limit cannot be listed by path; the
    // batch must say so instead of reporting the rest as the whole.
    void folderBeyondThePathLimit()
    {
        QTemporaryDir dir;
        QVERIFY(makeFile(dir.filePath("top.txt")));
        // Made level by level relative to the previous one: the whole path
        // is longer than the system accepts.
        const QByteArray level(200, 'L');
        int parent = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(parent >= 0);
        for (int i = 0; i < 25; ++i) {
            QCOMPARE(::mkdirat(parent, level.constData(), 0755), 0);
            const int child = ::openat(parent, level.constData(), O_RDONLY | O_DIRECTORY);
            ::close(parent);
            parent = child;
            QVERIFY(parent >= 0);
        }
        const int fd = ::openat(parent, "lost.txt", O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "far down", 8), ssize_t(8));
        ::close(fd);
        ::close(parent);

        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(encrypted(dir.filePath("top.txt")));
        // Only a walk relative to each folder can remove it again.
        QCOMPARE(QProcess::execute("rm", {"-rf", dir.filePath(QString::fromLatin1(level))}), 0);
        // The deep file could not be reached; the log has to say so.
        const QStringList lines = logrecorder::lines();
        const bool told = std::any_of(lines.begin(), lines.end(), [](const QString &line) {
            return line.contains(QStringLiteral("无法")) && line.contains(QStringLiteral("LLLL"));
        });
        QVERIFY2(told, qPrintable(lines.join('\n')));
        QCOMPARE(linesStartingWith("file: "), 1);
    }
};

QTEST_MAIN(TestHostileTrees)
#include "tst_hostiletrees.moc"
