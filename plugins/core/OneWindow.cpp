#include "OneWindow.h"

#include "CommandLinePaths.h"
#include "InstanceChannel.h"
#include "LogHub.h"
#include "PathDelivery.h"
#include "PrivateFolder.h"

namespace {

void log(const QString &line)
{
    LogHub::write(line);
}

} // namespace

OneWindow::OneWindow() = default;
OneWindow::~OneWindow() = default;

bool OneWindow::handOver(int argc, char **argv)
{
    m_own = Request{CommandLinePaths::fromArguments(argc, argv), CommandLinePaths::directionFromArguments(argc, argv)};
    m_channel = std::make_unique<InstanceChannel>(PrivateFolder::channelFolder(), log);
    const InstanceChannel::Role role = m_channel->claim(m_own.paths, m_own.direction);
    if (role == InstanceChannel::Role::HandedOver) {
        m_channel.reset();
        return true;
    }
    if (role == InstanceChannel::Role::Alone)
        m_channel.reset();
    else
        QObject::connect(m_channel.get(), &InstanceChannel::handedOver, m_channel.get(),
                         [this](const QStringList &paths, PathDirection direction) {
                             arrived(Request{paths, direction}, true);
                         });
    return false;
}

void OneWindow::open(QWidget *window, QTabWidget *tabs)
{
    m_delivery = std::make_unique<PathDelivery>(window, tabs, log);
    if (!m_own.paths.isEmpty())
        m_delivery->enqueue(m_own.paths, false, m_own.direction);
    for (const Request &request : m_early)
        m_delivery->enqueue(request.paths, true, request.direction);
    m_early.clear();
}

void OneWindow::arrived(const Request &request, bool raise)
{
    if (m_delivery)
        m_delivery->enqueue(request.paths, raise, request.direction);
    else
        m_early.push_back(request);
}

void OneWindow::close()
{
    m_channel.reset();
    QStringList left;
    if (m_delivery)
        left = m_delivery->takePending();
    for (const Request &request : m_early)
        left << request.paths;
    m_early.clear();
    for (const QString &path : left)
        log(QStringLiteral("程序退出，未处理：") + path);
    m_delivery.reset();
}
