// The real Keystrel reached from outside: paths on its command line, a
// second start that hands its paths to the running window, a window killed
// before, and another user's start. The windows are watched from inside by
// the preloaded driver.
#include "KeystrelRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHeader("has been encrypt\0", 17);

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool encrypted(const QString &path)
{
    const QByteArray bytes = fileBytes(path);
    return bytes.startsWith(kHeader) && (bytes.size() - 17) % 16 == 0;
}

QString program()
{
    return qEnvironmentVariable("KEYSTREL_BIN_DIR") + QStringLiteral("/Keystrel");
}

QString channelSocket()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/keystrel/socket");
}

QString details(const KeystrelRun &run)
{
    return run.report.join('\n') + '\n' + QString::fromUtf8(run.standardError);
}

} // namespace

class TestOpenPaths : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariable("XDG_RUNTIME_DIR").isEmpty()); // the test's own
    }

    // A file, a folder and a name that is nowhere, as a file manager or a
    // shell hands them over; Qt's own options are not paths.
    void pathsOnTheCommandLine()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString notes = work.filePath("notes.txt");
        const QString a = work.filePath("folder/a.txt");
        const QString x = work.filePath("folder/s/x.txt");
        QVERIFY(writeFile(notes, "第一行\nsecond line\n") && writeFile(a, "甲乙丙") && writeFile(x, "x"));

        KeystrelOptions options;
        options.environment = QStringList{"KEYSTREL_LOG_TO_STDERR=1"}; // the lines checked on stderr
        options.arguments = QStringList{"notes.txt", "-style", "fusion", "folder", "missing.txt"};
        options.expect = QStringList{"加密文件已输出到:" + notes,
                                     "dir: " + work.filePath("folder/s"),
                                     "file: " + x,
                                     "file: " + a,
                                     "开始加密",
                                     "加密文件已输出到:" + x,
                                     "加密文件已输出到:" + a};
        const KeystrelRun run = runKeystrel(program(), work.path(), "expect", options);
        QVERIFY(run.started);
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok expected lines in the log pane"), qPrintable(details(run)));
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);

        QVERIFY(encrypted(notes) && encrypted(a) && encrypted(x));
        // The missing name: one line, and nothing else happened to it.
        QCOMPARE(run.log().filter("missing.txt"), QStringList{"路径不存在：" + work.filePath("missing.txt")});
        QVERIFY(!QFileInfo::exists(work.filePath("missing.txt")));
        QCOMPARE(run.log().filter("fusion"), QStringList());
        QCOMPARE(run.log().filter("开始加密").size(), 1);
    }

    // After "--" every argument is a path, also one that Qt would take for
    // an option of its own: files named so are encrypted, and Qt neither
    // loads another platform, mirrors the window nor retitles it.
    void namesAfterTheOptionsEndAreFiles()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QStringList names{"-platform", "a.txt", "-reverse", "-style", "b.txt", "-qwindowtitle", "c.txt"};
        QStringList expect;
        for (const QString &name : names) {
            QVERIFY(writeFile(work.filePath(name), name.toUtf8()));
            expect << "加密文件已输出到:" + work.filePath(name);
        }

        KeystrelOptions options;
        options.arguments = QStringList{"--encrypt", "--"} + names;
        options.expect = expect;
        const KeystrelRun run = runKeystrel(program(), work.path(), "expect", options);
        QVERIFY(run.started);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok expected lines in the log pane"), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok window title"), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok layout not mirrored"), qPrintable(details(run)));
        QCOMPARE(run.exitCode, 0);
        for (const QString &name : names)
            QVERIFY2(encrypted(work.filePath(name)), qPrintable(name));
    }

    // A copy of the program refuses to encrypt its own executable and
    // plug-ins, also through a link, and says why in its window.
    void programsOwnFilesAreRefused()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString copy = work.filePath("program/Keystrel");
        QVERIFY(QDir().mkpath(work.filePath("program/Plugin")));
        QVERIFY(QFile::copy(program(), copy));
        for (const char *name : {"Hubstone.so", "Vaultine.so"}) {
            QVERIFY(QFile::copy(qEnvironmentVariable("KEYSTREL_BIN_DIR") + "/Plugin/" + name,
                                work.filePath("program/Plugin/") + name));
        }
        const QString vaultine = work.filePath("program/Plugin/Vaultine.so");
        const QString link = work.filePath("link-to-vaultine");
        QVERIFY(QFile::link(vaultine, link));
        const QByteArray before = fileBytes(vaultine) + fileBytes(copy);

        const QString refused =
            QStringLiteral("加密：这是Keystrel程序自己的文件，加密后程序将无法运行，原文件保持不变 ");
        KeystrelOptions options;
        options.arguments = QStringList{"--encrypt", "--", copy, link};
        options.expect = QStringList{refused + copy, refused + link};
        const KeystrelRun run = runKeystrel(copy, work.path(), "expect", options);
        QVERIFY(run.started);
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok expected lines in the log pane"), qPrintable(details(run)));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(fileBytes(vaultine) + fileBytes(copy), before);
    }

    // Started again with paths while it runs: the running window takes them
    // (relative ones from the second start's folder), the second start ends
    // with 0 and never builds a window.
    void secondStartHandsItsPathsOver()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString later = work.filePath("later.txt");
        const QString inside = work.filePath("sub/y.txt");
        QVERIFY(writeFile(later, "later") && writeFile(inside, "inside"));

        KeystrelOptions options;
        options.environment = QStringList{"KEYSTREL_LOG_TO_STDERR=1"}; // the lines checked on stderr
        options.expect = QStringList{"加密文件已输出到:" + later, "开始加密", "加密文件已输出到:" + inside};
        KeystrelProcess first;
        first.start(program(), work.path(), "expect", options);
        QVERIFY(first.process.state() != QProcess::NotRunning);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(work.filePath("ready")), 120000);

        QProcess second;
        second.setWorkingDirectory(work.path());
        QProcessEnvironment mirrored = QProcessEnvironment::systemEnvironment();
        mirrored.insert("KEYSTREL_LOG_TO_STDERR", "1");
        second.setProcessEnvironment(mirrored);
        QElapsedTimer took;
        took.start();
        second.start(program(), {"later.txt", "sub"});
        QVERIFY(second.waitForFinished(120000)); // only against a hang
        qInfo("the second start ended after %lld ms", took.elapsed());
        const QString err = QString::fromUtf8(second.readAllStandardError());
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QVERIFY2(second.exitCode() == 0, qPrintable(err));
        QVERIFY2(err.contains("已交给正在运行的窗口：2 个路径"), qPrintable(err));
        QVERIFY2(!err.contains("插件目录"), qPrintable(err)); // no plug-in, no window

        const KeystrelRun run = first.finish();
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok expected lines in the log pane"), qPrintable(details(run)));
        QCOMPARE(run.exitCode, 0);
        QVERIFY(encrypted(later) && encrypted(inside));
    }

    // keystrel --decrypt, then a second start with --encrypt: each file goes
    // the way asked or is skipped, and a folder runs its batch that way,
    // whatever its first file is.
    void directionAskedOnTheCommandLine()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString plain = work.filePath("plain.txt"), locked = work.filePath("locked.txt");
        const QString first = work.filePath("folder/a.txt"), second = work.filePath("folder/b.txt");
        QVERIFY(writeFile(plain, "plain") && writeFile(locked, "locked") && writeFile(first, "a")
                && writeFile(second, "b"));
        QCOMPARE(QProcess::execute(qEnvironmentVariable("KEYSTREL_BIN_DIR") + "/keystrel-cli",
                                   {"-q", "encrypt", locked, first}),
                 0);

        KeystrelOptions options;
        options.arguments = QStringList{"--decrypt", "plain.txt", "locked.txt"};
        options.expect = QStringList{"文件:" + plain + "已经未加密，不再解密", "解密文件已输出到:" + locked, "开始加密",
                                     "文件:" + first + "已经加密，不再加密", "加密文件已输出到:" + second};
        KeystrelProcess window;
        window.start(program(), work.path(), "expect", options);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(work.filePath("ready")), 120000);
        QProcess later;
        later.setWorkingDirectory(work.path());
        later.start(program(), {"--encrypt", "folder"});
        QVERIFY(later.waitForFinished(120000)); // only against a hang
        QCOMPARE(later.exitCode(), 0);

        const KeystrelRun run = window.finish();
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok expected lines in the log pane"), qPrintable(details(run)));
        QCOMPARE(fileBytes(plain), QByteArray("plain"));
        QCOMPARE(fileBytes(locked), QByteArray("locked"));
        QVERIFY(encrypted(first) && encrypted(second));
        QCOMPARE(run.log().filter("开始解密"), QStringList());
    }

    // A window killed outright leaves its socket behind: the next start
    // takes over and works as usual.
    void killedWindowLeavesNoObstacle()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        KeystrelProcess killed;
        killed.start(program(), work.path(), "stay");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(work.filePath("ready")), 120000);
        killed.process.kill();
        QVERIFY(killed.process.waitForFinished(120000));
        struct stat info;
        QVERIFY(::lstat(QFile::encodeName(channelSocket()).constData(), &info) == 0 && S_ISSOCK(info.st_mode));

        const QString file = work.filePath("after.txt");
        QVERIFY(writeFile(file, "after the crash"));
        QVERIFY(QFile::remove(work.filePath("ready")));
        KeystrelOptions options;
        options.environment = QStringList{"KEYSTREL_LOG_TO_STDERR=1"}; // the lines checked on stderr
        options.arguments = QStringList{file};
        options.expect = QStringList{"加密文件已输出到:" + file};
        const KeystrelRun run = runKeystrel(program(), work.path(), "expect", options);
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QVERIFY2(run.report.contains("ok expected lines in the log pane"), qPrintable(details(run)));
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.standardError.contains(("上一个窗口已不在，由本窗口接替：" + channelSocket()).toUtf8()));
        QVERIFY(encrypted(file));
    }

    // Another user's start does not use this user's channel: it gets its own
    // window, and this user's window receives nothing.
    void anotherUsersStartKeepsToItself()
    {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (::geteuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv to act as another user");
        QTemporaryDir mine;
        QTemporaryDir base;
        QVERIFY(mine.isValid() && base.isValid());
        KeystrelProcess window;
        window.start(program(), mine.path(), "stay");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(mine.filePath("ready")), 120000);

        // A work folder of "nobody", with a file of theirs.
        const QString theirs = base.filePath("theirs");
        const QString file = theirs + "/their.txt";
        QVERIFY(writeFile(file, "their own"));
        for (const QString &path : {theirs, file})
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(base.path()).constData(), 0755), 0);

        KeystrelOptions options;
        options.environment = QStringList{"KEYSTREL_LOG_TO_STDERR=1"}; // the lines checked on stderr
        options.arguments = QStringList{"their.txt"};
        options.expect = QStringList{"加密文件已输出到:" + file};
        options.wrapper = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        const KeystrelRun other = runKeystrel(program(), theirs, "expect", options);
        QVERIFY2(other.failures().isEmpty(), qPrintable(details(other)));
        QVERIFY2(other.report.contains("ok expected lines in the log pane"), qPrintable(details(other)));
        QCOMPARE(other.exitCode, 0);
        QVERIFY(other.standardError.contains("不使用单窗口通道："));
        QVERIFY(encrypted(file));

        QVERIFY(writeFile(mine.filePath("close"), ""));
        const KeystrelRun run = window.finish();
        QVERIFY2(run.failures().isEmpty(), qPrintable(details(run)));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.log().filter("their.txt"), QStringList());
        QVERIFY(!run.standardError.contains("uid 65534"));
    }
};

QTEST_GUILESS_MAIN(TestOpenPaths)
#include "tst_openpaths.moc"
