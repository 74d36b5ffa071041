// keystrel-cli's commands called directly, through its library: what a
// process started from outside cannot be made to meet at an exact moment.
#include "Console.h"
#include "ExitStatus.h"
#include "FileCommand.h"
#include "Interrupt.h"
#include "StderrCapture.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestCliCommands : public QObject
{
    Q_OBJECT

private slots:
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
