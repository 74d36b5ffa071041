#include "OneWindow.h"

#include "CommandLinePaths.h"
#include "HandOverGathering.h"
#include "InstanceChannel.h"
#include "LogHub.h"
#include "PathDelivery.h"

namespace {

void log(const QString &line)
{
    LogHub::write(line);
}

// How long the window waits for more starts of one Explorer command: they
// start all at once, but each loads the program before it hands over.
#if defined(Q_OS_WIN)
constexpr int kGatherQuietMs = 700;
constexpr int kGatherLongestMs = 5000;
#else
// File managers here start one program for the whole selection.
constexpr int kGatherQuietMs = 0;
constexpr int kGatherLongestMs = 0;
#endif

} // namespace

OneWindow::OneWindow()
    : m_gathering(std::make_unique<HandOverGathering>(
        kGatherQuietMs, kGatherLongestMs, [this](const QStringList &paths, bool raise, PathDirection direction) {
            arrived(Request{paths, direction}, raise);
        }))
{
}

OneWindow::~OneWindow() = default;

bool OneWindow::handOver(int argc, char **argv)
{
    m_own = Request{CommandLinePaths::fromArguments(argc, argv), CommandLinePaths::directionFromArguments(argc, argv)};
    m_channel = std::make_unique<InstanceChannel>(InstanceChannel::defaultPlace(), log);
    const InstanceChannel::Role role = m_channel->claim(m_own.paths, m_own.direction);
    if (role == InstanceChannel::Role::HandedOver) {
        m_channel.reset();
        return true;
    }
    if (role == InstanceChannel::Role::Alone)
        m_channel.reset();
    else
        QObject::connect(
            m_channel.get(), &InstanceChannel::handedOver, m_channel.get(),
            [this](const QStringList &paths, PathDirection direction) { m_gathering->add(paths, true, direction); });
    return false;
}

void OneWindow::open(QWidget *window, QTabWidget *tabs)
{
    m_delivery = std::make_unique<PathDelivery>(window, tabs, log);
    // The window answers from now on, and the other starts of the same
    // command may still be on their way: the gathering starts here.
    if (!m_own.paths.isEmpty())
        m_gathering->add(m_own.paths, false, m_own.direction);
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
    left << m_gathering->takePending();
    for (const Request &request : m_early)
        left << request.paths;
    m_early.clear();
    for (const QString &path : left)
        log(QStringLiteral("程序退出，未处理：") + path);
    m_delivery.reset();
}
