// keystrel-cli's console parts for Windows: every character of an argument
// arrives and leaves as UTF-8 when redirected; Ctrl-C sets the stop flag
// once and a second one ends the program.
#include <QProcess>
#include <QtTest>

class TestCliConsole : public QObject
{
    Q_OBJECT

private slots:
    void redirectedOutputIsUtf8()
    {
        const QString text = QStringLiteral("加密 C:/文件/a\U0001F600b.txt");
        QProcess probe;
        probe.start(QStringLiteral(KEYSTREL_CLI_PROBE), {QStringLiteral("echo"), text});
        QVERIFY(probe.waitForFinished(120000));
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(probe.readAllStandardOutput(), text.toUtf8() + '\n');
        QCOMPARE(probe.readAllStandardError(), QStringLiteral("日志行\n").toUtf8());
    }

    void secondCtrlCEndsTheProgram()
    {
        QProcess probe;
        probe.start(QStringLiteral(KEYSTREL_CLI_PROBE), {QStringLiteral("interrupt")});
        QVERIFY(probe.waitForFinished(120000));
        QCOMPARE(probe.readAllStandardOutput(), QByteArray("first taken\n"));
        // The probe never returns after the second one: it ended because the
        // default handler ended it (STATUS_CONTROL_C_EXIT on Windows; Wine's
        // handler exits with 0).
    }
};

QTEST_GUILESS_MAIN(TestCliConsole)
#include "tst_cliconsole.moc"
