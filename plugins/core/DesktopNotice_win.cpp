#include "DesktopNotice.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace desktopnotice {

namespace {

// A tray message (a balloon, or a toast on Windows 10 and later) from an
// icon that is there only while the message is: it goes once the message is
// clicked, the icon is clicked, or the message's time is over.
class TrayNotices : public NoticeSink
{
public:
    // How long Windows is asked to keep the message up; the icon stays a
    // little longer, as the message goes with it.
    static constexpr int kMessageMs = 10000;
    static constexpr int kIconMs = kMessageMs + 5000;

    ~TrayNotices() override { delete m_icon.data(); }

    void show(const QString &title, const QString &text) override
    {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return;
        QSystemTrayIcon *icon = trayIcon();
        if (!icon)
            return;
        const QIcon programIcon = QApplication::windowIcon();
        icon->setIcon(programIcon);
        icon->show();
        // The program's own icon in the message too.
        icon->showMessage(title, text, programIcon, kMessageMs);
        m_hideTimer->start(kIconMs);
    }

private:
    QSystemTrayIcon *trayIcon()
    {
        if (m_icon)
            return m_icon;
        // The application owns it, so that it never outlives Qt.
        auto *icon = new QSystemTrayIcon(qApp);
        icon->setObjectName(QStringLiteral("keystrelTrayNotice"));
        icon->setToolTip(QStringLiteral("Keystrel"));
        auto *timer = new QTimer(icon);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, icon, &QSystemTrayIcon::hide);
        const auto backToTheWindow = [icon] {
            icon->hide();
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->objectName() == QLatin1String("KeystrelMainWindow")) {
                    top->showNormal();
                    top->raise();
                    top->activateWindow();
                }
            }
        };
        QObject::connect(icon, &QSystemTrayIcon::messageClicked, icon, backToTheWindow);
        QObject::connect(icon, &QSystemTrayIcon::activated, icon, backToTheWindow);
        m_icon = icon;
        m_hideTimer = timer;
        return icon;
    }

    QPointer<QSystemTrayIcon> m_icon;
    QTimer *m_hideTimer = nullptr;
};

} // namespace

std::unique_ptr<NoticeSink> systemSink()
{
    return std::make_unique<TrayNotices>();
}

} // namespace desktopnotice
