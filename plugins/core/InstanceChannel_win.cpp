// The one-window channel on Windows: not there yet (it is to be a named pipe
// that only this user can open). Until then each start runs a window of its
// own, and says so in the log.
#include "InstanceChannel.h"

InstanceChannel::InstanceChannel(const QString &folder, LogFn log, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
    , m_log(std::move(log))
{
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::socketPath() const
{
    return QString();
}

InstanceChannel::Role InstanceChannel::claim(const QStringList &, PathDirection)
{
    m_log(QStringLiteral("不使用单窗口通道：Windows 上尚未提供"));
    return Role::Alone;
}
