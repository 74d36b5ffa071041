// keystrel-cli on files and folders: the form's bytes and log lines (the
// form's code linked in, openssl as the oracle), exit statuses for files
// already as asked, missing, read-only or in mixed folders, and Ctrl-C at an
// exact write (a preloaded hook raises SIGINT) leaving every file whole.
#include "CliRun.h"
#include "FileTestUtils.h"
#include "LogRecorder.h"
#include "form/Form.h"
#include "form/FormDriver.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vaultine;

using filetest::entries;
using filetest::header;
using filetest::read;
using filetest::write;

namespace {

constexpr uid_t kNobody = 65534;

// Random bytes that do not end in a space, which decryption would take for
// padding.
QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    if (size > 0)
        bytes[size - 1] = 'x';
    return bytes;
}

QByteArray formEncrypted(const QString &path)
{
    Form form;
    const int result = form.encryptFile(path, path);
    logrecorder::clear();
    return result == 0 ? read(path) : QByteArray();
}

// Runs the command line with a hook that raises SIGINT at the n-th write
// into a replacement file, as a Ctrl-C at that moment would.
clirun::Result interruptedAtWrite(const QStringList &arguments, const QString &watched, int write)
{
    clirun::Options options;
    options.extra.insert("LD_PRELOAD", KEYSTREL_CLI_HOOKS);
    options.extra.insert("KEYSTREL_HOOK_PATH", watched);
    options.extra.insert("KEYSTREL_TOOL_HOOK", QStringLiteral("write:%1:interrupt").arg(write));
    // A preloaded library comes before the sanitizer's run-time.
    const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    options.extra.insert("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
    return clirun::run(arguments, options);
}

// By bytes, for names that Qt cannot spell.
bool writeRaw(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const bool written = fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && written;
}

QByteArray readRaw(const QByteArray &path)
{
    QByteArray content(64, '\0');
    const int fd = ::open(path.constData(), O_RDONLY);
    const ssize_t got = fd >= 0 ? ::read(fd, content.data(), size_t(content.size())) : -1;
    ::close(fd);
    content.resize(got > 0 ? int(got) : 0);
    return content;
}

QSet<QByteArray> records(const QByteArray &out, char end)
{
    QList<QByteArray> list = out.split(end);
    if (list.value(list.size() - 1).isEmpty())
        list.removeLast();
    return QSet<QByteArray>(list.begin(), list.end());
}

} // namespace

class TestCliFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { logrecorder::clear(); }

    void fileRoundTrips_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray("x");
        QTest::newRow("one block") << QByteArray("sixteen bytes!!!");
        QTest::newRow("Chinese lines") << QString("第一行\n第二行：内容").toUtf8();
        QTest::newRow("binary, 5 chunks and a bit") << randomBytes((20 << 20) + 3, 11);
    }

    // The command line encrypts to the form's bytes (openssl agrees), the
    // form decrypts them, and back again.
    void fileRoundTrips()
    {
        QFETCH(QByteArray, plain);
        QTemporaryDir dir;
        const QString path = dir.filePath("data.bin");
        QVERIFY(write(path, plain));

        clirun::Result result = clirun::run({"encrypt", path});
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(result.errLines,
                 QStringList({"加密：文件大小：" + QString::number(plain.size()), "加密文件已输出到:" + path}));
        QCOMPARE(result.out, QByteArray());
        const QByteArray encrypted = read(path);
        QCOMPARE(encrypted.left(17), header());
        if (filetest::haveOpenssl())
            QVERIFY(encrypted.mid(17) == filetest::openssl(filetest::spacePadded(plain), false));

        Form form;
        QCOMPARE(form.decryptFile(path, path), 0);
        QVERIFY(read(path) == plain);
        QCOMPARE(form.encryptFile(path, path), 0);
        QVERIFY(read(path) == encrypted);

        result = clirun::run({"decrypt", path});
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(result.errLines,
                 QStringList({"解密：文件大小：" + QString::number(encrypted.size()), "解密文件已输出到:" + path}));
        QVERIFY(read(path) == plain);
        QCOMPARE(entries(dir.path()), QStringList{"data.bin"});
    }

    // A file already as asked is left alone with the batch's line: done.
    void alreadyAsAsked()
    {
        QTemporaryDir dir;
        const QString plain = dir.filePath("plain.txt");
        const QString locked = dir.filePath("locked.txt");
        QVERIFY(write(plain, "plain words") && write(locked, "hidden words"));
        const QByteArray cipher = formEncrypted(locked);

        clirun::Result result = clirun::run({"encrypt", locked});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.errLines, QStringList{"文件:" + locked + "已经加密，不再加密"});
        QCOMPARE(read(locked), cipher);

        result = clirun::run({"decrypt", plain});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.errLines, QStringList{"文件:" + plain + "已经未加密，不再解密"});
        QCOMPARE(read(plain), QByteArray("plain words"));

        // toggle turns each by its header; status tells them apart.
        result = clirun::run({"status", plain, locked});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), "plain\t" + plain + "\nencrypted\t" + locked + '\n');
        QCOMPARE(clirun::run({"-q", "toggle", plain, locked}).status, 0);
        result = clirun::run({"status", plain, locked});
        QCOMPARE(result.outText(), "encrypted\t" + plain + "\nplain\t" + locked + '\n');
        QCOMPARE(read(locked), QByteArray("hidden words"));
    }

    void missingPath_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("line");
        QTest::newRow("encrypt") << "encrypt"
                                 << "加密：无法打开文件 ";
        QTest::newRow("decrypt") << "decrypt"
                                 << "解密：无法打开输入文件 ";
        QTest::newRow("toggle") << "toggle"
                                << "加密：无法打开文件 ";
        QTest::newRow("status") << "status"
                                << "文件已不存在或不是普通文件，跳过：";
    }

    // Said in the form's words, status 1, and the next path is still done.
    void missingPath()
    {
        QFETCH(QString, command);
        QFETCH(QString, line);
        QTemporaryDir dir;
        const QString missing = dir.filePath("missing.txt");
        const QString present = dir.filePath("present.txt");
        QVERIFY(write(present, "here"));
        if (command == "decrypt")
            formEncrypted(present);
        const QByteArray before = read(present);

        const clirun::Result result = clirun::run({command, missing, present});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errLines.value(0), line + missing);
        if (command == "status")
            QCOMPARE(result.outText(), "plain\t" + present + '\n');
        else
            QVERIFY(read(present) != before);
        QCOMPARE(entries(dir.path()), QStringList{"present.txt"});
    }

    // toggle on a folder does what a drop on the form does, line for line;
    // then status lists it and decrypt restores it.
    void mixedFolderAsDropped()
    {
        QTemporaryDir dir;
        const QStringList trees{dir.filePath("dropped"), dir.filePath("typed")};
        for (const QString &tree : trees) {
            QVERIFY(QDir().mkpath(tree + "/s"));
            QVERIFY(write(tree + "/s/x.txt", "inner") && write(tree + "/b.txt", "bee")
                    && write(tree + "/a.txt", "already") && write(tree + "/.hidden", "not listed"));
            formEncrypted(tree + "/a.txt");
        }
        Form form;
        QVERIFY(formdriver::drop(&form, formdriver::localUrls({trees[0]})));
        QStringList dropped = logrecorder::takeLines();
        dropped.replaceInStrings(trees[0], trees[1]);

        const clirun::Result result = clirun::run({"toggle", trees[1]});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.errLines, dropped);
        QCOMPARE(result.errLines.last(), QString("批量加密完成：加密2个，跳过1个，失败0个"));
        for (const char *name : {"/s/x.txt", "/a.txt", "/b.txt", "/.hidden"})
            QVERIFY2(read(trees[0] + name) == read(trees[1] + name), name);

        clirun::Result status = clirun::run({"status", trees[1] + '/'});
        QCOMPARE(status.status, 0);
        QCOMPARE(status.outText(), "encrypted\t" + trees[1] + "/s/x.txt\nencrypted\t" + trees[1] + "/a.txt\nencrypted\t"
                                       + trees[1] + "/b.txt\n");
        QCOMPARE(status.err, QByteArray());

        QCOMPARE(clirun::run({"decrypt", trees[1]}).status, 0);
        QCOMPARE(read(trees[1] + "/s/x.txt"), QByteArray("inner"));
        QCOMPARE(read(trees[1] + "/a.txt"), QByteArray("already"));
        QCOMPARE(read(trees[1] + "/.hidden"), QByteArray("not listed"));
    }

    // Names with control characters, quotes or bytes that are not UTF-8 (a
    // GBK name, a stray byte): the batch reaches each, its log lines stay one
    // to a line; status quotes them as git does, or with -0 writes them as
    // they are.
    void oddNames()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/odd/";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QList<QByteArray> names{"a\nencrypted\tf", "bad\xffname", "\xbb\xfa\xc3\xdc.txt", "q\"\\", "esc\x1b[31m",
                                      "c1\xc2\x9b",      "报告.txt"};
        const QList<QByteArray> quoted{"\"odd/a\\nencrypted\\tf\"",
                                       "\"odd/bad\\377name\"",
                                       "\"odd/\\273\\372\\303\\334.txt\"",
                                       "\"odd/q\\\"\\\\\"",
                                       "\"odd/esc\\033[31m\"",
                                       "\"odd/c1\\302\\233\"",
                                       "odd/报告.txt"};
        for (const QByteArray &name : names)
            QVERIFY(writeRaw(folder + name, "content"));
        clirun::Options options;
        options.workingDirectory = dir.path();

        clirun::Result result = clirun::run({"encrypt", "odd"}, options);
        QVERIFY2(result.status == 0, result.err.constData());
        for (const QByteArray &name : names)
            QVERIFY2(readRaw(folder + name).startsWith(header()), name.constData());
        // A walk line per file, the start, two lines per file, the summary.
        QCOMPARE(result.errLines.size(), 3 * names.size() + 2);
        QVERIFY(result.errLines.contains("file: " + dir.path() + "/odd/a\\nencrypted\\tf"));

        QSet<QByteArray> expected;
        for (const QByteArray &name : quoted)
            expected << "encrypted\t" + name;
        result = clirun::run({"status", "odd"}, options);
        QCOMPARE(result.status, 0);
        QCOMPARE(records(result.out, '\n'), expected);

        expected.clear();
        for (const QByteArray &name : names)
            expected << "encrypted\todd/" + name;
        result = clirun::run({"--null", "status", "odd"}, options);
        QCOMPARE(result.status, 0);
        QCOMPARE(records(result.out, '\0'), expected);
        // Such a name given as PATH is reached too (through a shell: Qt
        // cannot pass the byte itself).
        options.wrapper = QStringList{"sh", "-c", "exec \"$0\" status \"$(printf 'odd/bad\\377name')\""};
        result = clirun::run({}, options);
        QCOMPARE(result.out, QByteArray("encrypted\t\"odd/bad\\377name\"\n"));
    }

    // File names in Chinese without a locale: reached, and logged as they are.
    void chineseNamesWithoutLocale()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("文件夹/报告.txt");
        QVERIFY(QDir().mkpath(dir.filePath("文件夹")) && write(path, "内容"));
        clirun::Options options;
        options.extra.insert("LC_ALL", "C");
        options.extra.insert("LANG", "C");
        clirun::Result result = clirun::run({"encrypt", path}, options);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.errLines.last(), "加密文件已输出到:" + path);
        result = clirun::run({"status", dir.filePath("文件夹")}, options);
        QCOMPARE(result.out, ("encrypted\t" + path + '\n').toUtf8());
    }

    // A read-only file, alone and in a folder: refused in the form's words,
    // status 1, its bytes kept; the folder's other file is done. As root,
    // run as nobody, for whom permissions count.
    void readOnlyFile()
    {
        QTemporaryDir base;
        QStringList wrapper;
        const bool root = ::geteuid() == 0;
        if (root) {
            const QString setpriv = QStandardPaths::findExecutable("setpriv");
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv: permissions cannot be tried");
            wrapper = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        const QString folder = base.filePath("shelf");
        QVERIFY(QDir().mkpath(folder) && ::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
        const QString locked = folder + "/locked.txt";
        const QString open = folder + "/open.txt";
        QVERIFY(write(locked, "keep these bytes") && write(open, "may change"));
        for (const QString &path : {folder, locked, open}) {
            if (root)
                QCOMPARE(::chown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
        }
        QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
        clirun::Options options;
        options.wrapper = wrapper;
        if (clirun::run({"--version"}, options).status != 0)
            QSKIP("keystrel-cli cannot run as nobody from this build folder");

        clirun::Result result = clirun::run({"encrypt", locked}, options);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errLines, QStringList({"加密：文件大小：16", "加密：无法输入打开文件 " + locked}));
        QCOMPARE(read(locked), QByteArray("keep these bytes"));

        result = clirun::run({"encrypt", folder}, options);
        QVERIFY(read(open).startsWith(header()));
        QCOMPARE(entries(folder), QStringList({"locked.txt", "open.txt"}));
        // A batch refuses it too, rather than replacing it through its folder.
        QCOMPARE(read(locked), QByteArray("keep these bytes"));
        QCOMPARE(result.status, 1);
        QVERIFY2(result.errLines.last().startsWith("批量加密完成：加密1个，跳过0个，失败1个"), result.err.constData());
    }

    void interruptedFile_data()
    {
        QTest::addColumn<bool>("decrypting");
        QTest::newRow("encrypt") << false;
        QTest::newRow("decrypt") << true;
    }

    // Ctrl-C while the third chunk of a 40 MiB file is written: the file
    // keeps every byte, nothing is left beside it, the line says so, 130.
    void interruptedFile()
    {
        QFETCH(bool, decrypting);
        QTemporaryDir dir;
        const QString path = dir.filePath("large.bin");
        QVERIFY(write(path, randomBytes(40 << 20, 5)));
        if (decrypting)
            QVERIFY(!formEncrypted(path).isEmpty());
        const QByteArray before = read(path);

        const clirun::Result result =
            interruptedAtWrite({decrypting ? "decrypt" : "encrypt", path}, path, decrypting ? 3 : 4);
        QVERIFY2(result.out.contains("hook fired"), result.err.constData());
        QVERIFY(!result.crashed);
        QCOMPARE(result.status, 130);
        QVERIFY(read(path) == before);
        QCOMPARE(entries(dir.path()), QStringList{"large.bin"});
        QCOMPARE(result.errLines.last(),
                 (decrypting ? "解密：已取消，原文件保持不变 " : "加密：已取消，原文件保持不变 ") + path);
    }

    // Ctrl-C in a folder of three 17 MiB files (each its own group), while
    // the second is written: the first is done, the others untouched, and
    // the summary counts them.
    void interruptedFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("batch");
        QVERIFY(QDir().mkpath(folder));
        QList<QByteArray> contents;
        for (int i = 0; i < 3; ++i) {
            contents << randomBytes((17 << 20) + i, quint32(i));
            QVERIFY(write(folder + QStringLiteral("/f%1.bin").arg(i), contents.last()));
        }
        // Each file: the header, four whole chunks, the padded rest.
        const clirun::Result result = interruptedAtWrite({"encrypt", folder}, folder, 6 + 2);
        QVERIFY(result.out.contains("hook fired"));
        QCOMPARE(result.status, 130);
        QCOMPARE(result.errLines.last(), QString("批量加密已取消：加密1个，跳过0个，失败0个，未处理2个"));
        QVERIFY(read(folder + "/f0.bin").startsWith(header()));
        QVERIFY(read(folder + "/f1.bin") == contents[1]);
        QVERIFY(read(folder + "/f2.bin") == contents[2]);
        QCOMPARE(entries(folder), QStringList({"f0.bin", "f1.bin", "f2.bin"}));
    }

    // A copy of keystrel-cli with a Plugin folder beside it: it refuses its
    // own executable and plug-ins, named as they are or through a link, and
    // says why; a folder holding them counts them as failed.
    void programsOwnFilesAreRefused()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath("bin/keystrel-cli");
        const QString plugin = dir.filePath("bin/Plugin/Vaultine.so");
        const QString library = dir.filePath("bin/libhelper.so.1");
        const QString link = dir.filePath("elsewhere.so");
        QVERIFY(QDir().mkpath(dir.filePath("bin/Plugin")));
        QVERIFY(QFile::copy(KEYSTREL_CLI, program));
        QVERIFY(write(plugin, "plug-in bytes") && write(library, "library bytes"));
        QVERIFY(QFile::link(plugin, link));
        const QByteArray executable = read(program);
        const QString refused =
            QStringLiteral("加密：这是Keystrel程序自己的文件，加密后程序将无法运行，原文件保持不变 ");

        clirun::Options options;
        options.program = program;
        clirun::Result result = clirun::run({"encrypt", program, link, library}, options);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errLines, QStringList({refused + program, refused + link, refused + library}));

        result = clirun::run({"encrypt", dir.filePath("bin")}, options);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errLines.filter(refused).size(), 3);
        QVERIFY2(result.errLines.last().startsWith(QStringLiteral("批量加密完成：加密0个，跳过0个，失败3个")),
                 qPrintable(result.errLines.join('\n')));
        QCOMPARE(read(program), executable);
        QCOMPARE(read(plugin), QByteArray("plug-in bytes"));
        QCOMPARE(read(library), QByteArray("library bytes"));
    }
};

QTEST_MAIN(TestCliFiles)
#include "tst_clifiles.moc"
