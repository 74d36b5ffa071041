// The program folder as the zip holds it on a 1920 by 1080 screen at 125,
// 150 and 200 %: Qt takes the screen's own factor (not 150 % rounded to
// 200 %), and the window with its frame stays inside the screen's free area.
// Wine's DirectWrite lays out the bundled Roboto wrongly once Qt scales
// (docs/windows.md), so the program runs with Qt's GDI font engine here.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

namespace {

bool setSystemDpi(DWORD dpi)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&dpi), sizeof dpi)
                    == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

QRect rectFrom(const QRegularExpressionMatch &match, int first)
{
    return QRect(match.captured(first).toInt(), match.captured(first + 1).toInt(), match.captured(first + 2).toInt(),
                 match.captured(first + 3).toInt());
}

} // namespace

class TestWinDpi : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { setSystemDpi(96); }

    void windowFitsTheScreen_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<double>("scale");
        QTest::newRow("125 %") << 120 << 1.25;
        QTest::newRow("150 %") << 144 << 1.5;
        QTest::newRow("200 %") << 192 << 2.0;
    }

    void windowFitsTheScreen()
    {
        QFETCH(int, dpi);
        QFETCH(double, scale);
        QVERIFY(setSystemDpi(DWORD(dpi)));
        QTemporaryDir dir;
        QVERIFY(
            QProcess::execute(QStringLiteral("xcopy"), {QDir::toNativeSeparators(KEYSTREL_PROGRAM_FOLDER),
                                                        QDir::toNativeSeparators(dir.path()), "/E", "/I", "/Q", "/Y"})
            == 0);
        QVERIFY(QFile::copy(QStringLiteral(KEYSTREL_PROBE), dir.filePath(QStringLiteral("Plugin/Probe.dll"))));
        const QString reportPath = dir.filePath(QStringLiteral("report.txt"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KEYSTREL_WINPROBE_REPORT"), reportPath);
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("QT_PLUGIN_PATH"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(dir.filePath(QStringLiteral("Keystrel.exe")),
                      {QStringLiteral("-platform"), QStringLiteral("windows:nodirectwrite")});
        QVERIFY(process.waitForFinished(240000));
        QFile file(reportPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(file.readAll());

        static const QRegularExpression placed(QStringLiteral(
            "frame (\\d+) (\\d+) (\\d+) (\\d+) inside \\S+ \\S+ \\S+ \\S+ in (\\d+) (\\d+) (\\d+) (\\d+), ([0-9.]+) "));
        const QRegularExpressionMatch match = placed.match(report);
        QVERIFY2(match.hasMatch(), qUtf8Printable(report));
        QCOMPARE(match.captured(9).toDouble(), scale);
        const QRect frame = rectFrom(match, 1);
        const QRect available = rectFrom(match, 5);
        // The free area of 1920 by 1080 device pixels, in Qt's pixels.
        QCOMPARE(available.width(), qRound(1920 / scale));
        QVERIFY2(available.contains(frame), qUtf8Printable(report));
        // Not shrunk where there is room: 760 by 600 inside its frame.
        if (scale < 2)
            QVERIFY2(frame.width() >= 760 && frame.height() >= 600, qUtf8Printable(report));
    }
};

QTEST_GUILESS_MAIN(TestWinDpi)
#include "tst_windpi.moc"
