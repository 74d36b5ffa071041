// The real Keystrel with the real core and encryption plug-ins from the
// build tree, used from inside the process by the preloaded driver: strings,
// a file dropped twice, a folder batch, the log pane, closing the window,
// and what of it reaches standard error.
#include "KeystrelRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void aUserSession_data()
    {
        QTest::addColumn<bool>("mirrored");
        QTest::newRow("log in the window only") << false;
        QTest::newRow("KEYSTREL_LOG_TO_STDERR=1") << true;
    }

    void aUserSession()
    {
        QFETCH(bool, mirrored);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString binDir = qEnvironmentVariable("KEYSTREL_BIN_DIR");
        const QString typed = QStringLiteral("口令：Tr0ub4dor&3 绝密");
        QStringList environment{"KEYSTREL_E2E_TEXT=" + typed};
        if (mirrored)
            environment << "KEYSTREL_LOG_TO_STDERR=1";
        KeystrelOptions options;
        options.environment = environment;
        const KeystrelRun run = runKeystrel(binDir + "/Keystrel", work.path(), "full", options);
        QVERIFY(run.started);

        // The driver's own verdicts, from inside the window.
        QVERIFY2(run.failures().isEmpty(), qPrintable(run.failures().join('\n') + '\n' + run.standardError));
        QVERIFY2(run.report.contains("done"), qPrintable(run.report.join('\n') + '\n' + run.standardError));
        for (const char *step : {"ok window shown", "ok form in its tab", "ok bundled fonts registered",
                                 "ok decrypt string restores the text", "ok string lines in the log pane",
                                 "ok dropped again: decrypted", "ok folder batch logged in walk order"})
            QVERIFY2(run.report.contains(QLatin1String(step)), step);

        // Closing the window ended the program normally.
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QVERIFY2(run.exitCode == 0, run.standardError.constData());

        // What is left on disk: the file back to plain, the folder encrypted.
        const QByteArray header("has been encrypt\0", 17);
        QCOMPARE(fileBytes(work.filePath("notes.txt")), QStringLiteral("第一行：机密\nsecond line\n").toUtf8());
        for (const char *name : {"folder/a.txt", "folder/b.txt", "folder/s/x.txt"}) {
            const QByteArray bytes = fileBytes(work.filePath(name));
            QVERIFY2(bytes.startsWith(header) && (bytes.size() - 17) % 16 == 0, name);
        }
        QCOMPARE(fileBytes(work.filePath("folder/s/x.txt")).size(), 17 + 48);

        // The typed text was encrypted and decrypted in the window (the log
        // pane holds its lines), yet standard error, which a desktop session
        // keeps on disk, never saw it nor a line that carries it.
        const QString err = QString::fromUtf8(run.standardError);
        QVERIFY2(!err.contains(typed), qPrintable(err));
        for (const char *windowOnly : {"原始字符串：", "加密二进制：", "原始二进制字符串：", "解密字符串："})
            QVERIFY2(!err.contains(QString::fromUtf8(windowOnly)), windowOnly);

        const QString lineStamp = QStringLiteral("(^|\n)\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  ");
        const auto stamped = [&](const QString &text) {
            return err.contains(QRegularExpression(lineStamp + QRegularExpression::escape(text) + "\n"));
        };
        if (!mirrored) {
            QVERIFY2(!err.contains(QRegularExpression(lineStamp)), qPrintable(err)); // no log line at all
            return;
        }
        // Asked for, the other lines are there, stamped, for diagnostics.
        QVERIFY2(stamped("插件目录：" + binDir + "/Plugin"), qPrintable(err));
        QVERIFY(stamped("已加载插件：Encryption（Vaultine.so）"));
        QVERIFY(stamped("长度：" + QString::number(typed.toUtf8().size())));
        QVERIFY(stamped("加密文件已输出到:" + work.filePath("notes.txt")));
        QVERIFY(stamped("解密文件已输出到:" + work.filePath("notes.txt")));
        QVERIFY(stamped("开始加密"));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
