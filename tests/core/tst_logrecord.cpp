// The whole log kept behind the pane: every line up to its bound, the
// oldest going first past it, counted; and the escapes of a shown line.
#include "LogRecord.h"
#include "LogText.h"

#include <QBuffer>
#include <QtTest>

class TestLogRecord : public QObject
{
    Q_OBJECT

private slots:
    void keepsEveryLineInOrder()
    {
        LogRecord record;
        for (int i = 0; i < 30000; ++i)
            record.append(QStringLiteral("file: /tmp/第%1个").arg(i));
        QCOMPARE(record.keptLines(), qint64(30000));
        QCOMPARE(record.droppedLines(), qint64(0));
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(record.writeTo(out));
        const QStringList lines = QString::fromUtf8(out.data()).split('\n');
        QCOMPARE(lines.size(), 30001); // each line ends with a break
        QCOMPARE(lines.first(), QStringLiteral("file: /tmp/第0个"));
        QCOMPARE(lines.at(29999), QStringLiteral("file: /tmp/第29999个"));
        QCOMPARE(lines.last(), QString());
    }

    void oldestGoPastTheBound()
    {
        LogRecord record;
        const QString big(LogRecord::kPieceBytes / 4, QLatin1Char('x'));
        const qint64 total = 4 * LogRecord::kMaxBytes / LogRecord::kPieceBytes + 40;
        for (qint64 i = 0; i < total; ++i)
            record.append(QString::number(i) + big);
        QVERIFY(record.droppedLines() > 0);
        QCOMPARE(record.keptLines() + record.droppedLines(), total);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(record.writeTo(out));
        QVERIFY(out.data().size() <= LogRecord::kMaxBytes);
        QVERIFY(out.data().startsWith(QByteArray::number(record.droppedLines()) + 'x'));
        QVERIFY(out.data().endsWith('x' + QByteArray("\n")));
        record.clear();
        QCOMPARE(record.keptLines(), qint64(0));
        QCOMPARE(record.droppedLines(), qint64(0));
    }

    void controlCharactersAreEscaped_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("文件:/tmp/a b\\c") << QStringLiteral("文件:/tmp/a b\\c");
        QTest::newRow("line break") << QStringLiteral("a\nb\r") << QStringLiteral("a\\nb\\r");
        QTest::newRow("short forms") << QStringLiteral("\a\b\t\v\f") << QStringLiteral("\\a\\b\\t\\v\\f");
        QTest::newRow("other C0, DEL") << QStringLiteral("\x01\x1b\x7f") << QStringLiteral("\\001\\033\\177");
        QTest::newRow("C1 as UTF-8") << QStringLiteral("\u0085\u009f") << QStringLiteral("\\302\\205\\302\\237");
        QTest::newRow("separators") << QStringLiteral("a\u2028b\u2029")
                                    << QStringLiteral("a\\342\\200\\250b\\342\\200\\251");
        QTest::newRow("zero") << QString(QChar(0)) << QStringLiteral("\\000");
    }

    void controlCharactersAreEscaped()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        QCOMPARE(logtext::shown(line), shown);
    }
};

QTEST_GUILESS_MAIN(TestLogRecord)
#include "tst_logrecord.moc"
