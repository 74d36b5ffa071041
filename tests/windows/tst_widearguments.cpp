// Arguments outside the ANSI code page (an emoji, Chinese) reach the program
// intact through WideArguments, although main() gets them converted.
#include <QProcess>
#include <QtTest>

#include <windows.h>

class TestWideArguments : public QObject
{
    Q_OBJECT

private slots:
    void argumentsKeepEveryCharacter()
    {
        const QStringList given = {QStringLiteral("C:/文件/a\U0001F600b.txt"), QStringLiteral("plain"),
                                   QStringLiteral("with space \u00e9")};
        QProcess probe;
        probe.start(QStringLiteral(KEYSTREL_ARGUMENTS_PROBE), given);
        QVERIFY(probe.waitForFinished(120000));
        QCOMPARE(probe.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), given.size());
        for (int i = 0; i < given.size(); ++i) {
            const QStringList seen = lines.at(i).trimmed().split(QLatin1Char(' '));
            QCOMPARE(seen.size(), 2);
            QCOMPARE(QString::fromUtf8(QByteArray::fromHex(seen.at(1).toLatin1())), given.at(i));
        }
        // What main() itself got: no ANSI code page but UTF-8 holds the emoji.
        const QByteArray narrow = QByteArray::fromHex(lines.at(0).split(QLatin1Char(' ')).at(0).toLatin1());
        if (::GetACP() != CP_UTF8)
            QVERIFY2(QString::fromUtf8(narrow) != given.at(0), narrow.constData());
    }
};

QTEST_GUILESS_MAIN(TestWideArguments)
#include "tst_widearguments.moc"
