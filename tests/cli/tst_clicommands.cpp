// keystrel-cli's commands called directly, through its library: what a
// process started from outside cannot be made to meet at an exact moment.
#include "Console.h"
#include "ExitStatus.h"
#include "FileCommand.h"
#include "Interrupt.h"
#include "Quoting.h"
#include "StderrCapture.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace vaultine;

class TestCliCommands : public QObject
{
    Q_OBJECT

private slots:
    // Names as status lists them for Windows: pasted into cmd.exe or
    // PowerShell they name the same file; for Linux as git quotes them.
    void namesQuotedAsEachSystemPastesThem_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("windows");
        QTest::addColumn<QByteArray>("posix");
        QTest::newRow("plain") << QByteArray("C:\\work\\a.txt") << QByteArray("C:\\work\\a.txt")
                               << QByteArray("\"C:\\\\work\\\\a.txt\"");
        QTest::newRow("a space") << QByteArray("C:\\My files\\a b.txt") << QByteArray("\"C:\\My files\\a b.txt\"")
                                 << QByteArray("\"C:\\\\My files\\\\a b.txt\"");
        QTest::newRow("cmd's own") << QByteArray("C:\\x\\R&D (1).txt") << QByteArray("\"C:\\x\\R&D (1).txt\"")
                                   << QByteArray("\"C:\\\\x\\\\R&D (1).txt\"");
        QTest::newRow("PowerShell's own") << QByteArray("C:\\x\\$y@z.txt") << QByteArray("\"C:\\x\\$y@z.txt\"")
                                          << QByteArray("\"C:\\\\x\\\\$y@z.txt\"");
        QTest::newRow("Chinese") << QStringLiteral("D:\\文件\\信.txt").toUtf8()
                                 << QStringLiteral("D:\\文件\\信.txt").toUtf8()
                                 << QStringLiteral("\"D:\\\\文件\\\\信.txt\"").toUtf8();
        QTest::newRow("a control") << QByteArray("a\nb") << QByteArray("a?b") << QByteArray("\"a\\nb\"");
        QTest::newRow("not UTF-8") << QByteArray("a\xff b") << QByteArray("\"a? b\"") << QByteArray("\"a\\377 b\"");
        QTest::newRow("Linux path") << QByteArray("/home/u/a.txt") << QByteArray("/home/u/a.txt")
                                    << QByteArray("/home/u/a.txt");
    }

    void namesQuotedAsEachSystemPastesThem()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, windows);
        QFETCH(QByteArray, posix);
        QCOMPARE(quoting::quotedName(name, quoting::Style::Windows), windows);
        QCOMPARE(quoting::quotedName(name, quoting::Style::Posix), posix);
#ifdef Q_OS_WIN
        QCOMPARE(quoting::quotedName(name), windows);
#else
        QCOMPARE(quoting::quotedName(name), posix);
#endif
    }

    // A Ctrl-C that came before the first path (while the command line was
    // read, say) stops the command before it touches anything.
    void aCtrlCBeforeTheFirstPathLeavesEveryFileAlone()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        const QString file = dir.filePath("file.txt"), inFolder = dir.filePath("folder/inner.txt");
        QVERIFY(testfiles::writeAll(file, "plain"));
        QVERIFY(testfiles::writeAll(inFolder, "plain too"));
        interrupt::install(interrupt::BlockingCalls::Restarted);
        // One shot: the handler gives way to the default action after this.
        ::raise(SIGINT);
        QVERIFY(interrupt::requested());

        StderrCapture capture;
        Console console(false);
        const int status = runFileCommand(jobs::Asked::Encrypt, {file, dir.filePath("folder")}, console);
        const QByteArray errors = capture.finish();
        QCOMPARE(status, exitstatus::kInterrupted);
        QCOMPARE(errors, QByteArray());
        QCOMPARE(testfiles::readAll(file), QByteArray("plain"));
        QCOMPARE(testfiles::readAll(inFolder), QByteArray("plain too"));
    }
};

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
