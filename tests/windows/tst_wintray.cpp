// The tray message that tells of long work ended unseen, under Wine with
// the Windows platform: a sink exists, its icon carries the program's icon
// while the message is up, and clicking the message brings the window back
// and takes the icon away. Wine has no notification area to look at, so
// that Windows shows the balloon itself is not seen here.
#include "DesktopNotice.h"

#include <QApplication>
#include <QMainWindow>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QtTest>

class TestWinTray : public QObject
{
    Q_OBJECT

private slots:
    void longWorkEndsWithATrayMessage()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("windows"));
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        QPixmap pixels(16, 16);
        pixels.fill(Qt::darkCyan);
        QApplication::setWindowIcon(QIcon(pixels));
        QMainWindow window;
        window.setObjectName(QStringLiteral("KeystrelMainWindow"));
        window.show();
        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());

        std::unique_ptr<NoticeSink> sink = desktopnotice::systemSink();
        QVERIFY(sink);
        WorkNotice notice([] { return false; }, std::move(sink));
        QVERIFY(notice.workEnded(QStringLiteral("加密：完成 3 个文件"), WorkNotice::kLongWorkMs));

        auto *icon = qApp->findChild<QSystemTrayIcon *>(QStringLiteral("keystrelTrayNotice"));
        QVERIFY(icon);
        QVERIFY(icon->isVisible());
        QVERIFY(!icon->icon().isNull());
        QCOMPARE(icon->toolTip(), QStringLiteral("Keystrel"));

        // As Windows reports a click on the message.
        QVERIFY(QMetaObject::invokeMethod(icon, "messageClicked"));
        QVERIFY(!icon->isVisible());
        QVERIFY(!window.isMinimized());

        // A second notice shows the same icon again, not a second one.
        QVERIFY(notice.workEnded(QStringLiteral("解密：完成 1 个文件"), WorkNotice::kLongWorkMs));
        QCOMPARE(qApp->findChildren<QSystemTrayIcon *>().size(), 1);
        QVERIFY(icon->isVisible());
    }
};

int main(int argc, char **argv)
{
    // The tray belongs to the Windows platform; off screen there is none.
    qputenv("QT_QPA_PLATFORM", "windows");
    QApplication application(argc, argv);
    TestWinTray test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wintray.moc"
