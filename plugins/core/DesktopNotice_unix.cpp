#include "DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace desktopnotice {

namespace {

// org.freedesktop.Notifications, as every Linux desktop offers it.
class FreedesktopNotices : public NoticeSink
{
public:
    void show(const QString &title, const QString &text) override
    {
        // Without an address or the session's socket there is no session
        // bus; asking for it anyway would start one of our own (autolaunch).
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
            && (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus"))))
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage notify = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("keystrel")}};
        // Application, no notice to replace, icon, summary, body, no
        // actions, hints, the server's own timeout.
        notify << QStringLiteral("Keystrel") << uint(0) << QStringLiteral("keystrel") << title << text << QStringList()
               << hints << int(-1);
        // The reply (the notice's id) is of no use: nothing waits for it.
        bus.send(notify);
    }
};

} // namespace

std::unique_ptr<NoticeSink> systemSink()
{
    return std::make_unique<FreedesktopNotices>();
}

} // namespace desktopnotice
