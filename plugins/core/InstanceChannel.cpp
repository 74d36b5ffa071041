#include "InstanceChannel.h"

#include "HandOverProtocol.h"

InstanceChannel::InstanceChannel(const QString &place, LogFn log, QObject *parent)
    : QObject(parent)
    , m_place(place)
    , m_log(std::move(log))
    , m_system(newSystem())
{
    qRegisterMetaType<PathDirection>();
}

InstanceChannel::~InstanceChannel()
{
    stopServing();
}

void InstanceChannel::serve(QLocalSocket *peer)
{
    handoverprotocol::serve(
        peer, this, m_log,
        [this](const QStringList &paths, PathDirection direction) { emit handedOver(paths, direction); },
        [this] { emit closeRequested(); });
}
