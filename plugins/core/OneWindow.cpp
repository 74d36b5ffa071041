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
    m_ownPaths = CommandLinePaths::fromArguments(argc, argv);
    m_channel = std::make_unique<InstanceChannel>(PrivateFolder::channelFolder(), log);
    const InstanceChannel::Role role = m_channel->claim(m_ownPaths);
    if (role == InstanceChannel::Role::HandedOver) {
        m_channel.reset();
        return true;
    }
    if (role == InstanceChannel::Role::Alone)
        m_channel.reset();
    else
        QObject::connect(m_channel.get(), &InstanceChannel::handedOver, m_channel.get(),
                         [this](const QStringList &paths) { arrived(paths, true); });
    return false;
}

void OneWindow::open(QWidget *window, QTabWidget *tabs)
{
    m_delivery = std::make_unique<PathDelivery>(window, tabs, log);
    if (!m_ownPaths.isEmpty())
        m_delivery->enqueue(m_ownPaths, false);
    for (const QStringList &paths : m_early)
        m_delivery->enqueue(paths, true);
    m_early.clear();
}

void OneWindow::arrived(const QStringList &paths, bool raise)
{
    if (m_delivery)
        m_delivery->enqueue(paths, raise);
    else
        m_early.push_back(paths);
}

void OneWindow::close()
{
    m_channel.reset();
    QStringList left;
    if (m_delivery)
        left = m_delivery->takePending();
    for (const QStringList &paths : m_early)
        left << paths;
    m_early.clear();
    for (const QString &path : left)
        log(QStringLiteral("程序退出，未处理：") + path);
    m_delivery.reset();
}
