#include "OneWindow.h"

#include "CommandLinePaths.h"
#include "GatherTimes.h"
#include "HandOverGathering.h"
#include "InstanceChannel.h"
#include "LogHub.h"
#include "PathDelivery.h"

#include <QDir>
#include <QWidget>

namespace {

void log(const QString &line)
{
    loghub::write(line);
}

// How long a window asked to close may take to stop its work and end.
constexpr int kCloseWaitMs = 20000;

} // namespace

OneWindow::OneWindow()
    : m_gathering(
        std::make_unique<HandOverGathering>(gatherTimes().quietMs, gatherTimes().longestMs,
                                            [this](const QStringList &paths, Raise raise, PathDirection direction) {
                                                arrived(Request{paths, direction}, raise);
                                            }))
{
}

OneWindow::~OneWindow() = default;

bool OneWindow::handOver(int argc, char **argv)
{
    m_own = Request{commandlinepaths::fromArguments(argc, argv), commandlinepaths::directionFromArguments(argc, argv)};
    m_channel = std::make_unique<InstanceChannel>(InstanceChannel::defaultPlace(), log);
    const InstanceChannel::Role role = m_channel->claim(m_own.paths, m_own.direction);
    if (role == InstanceChannel::Role::HandedOver) {
        m_channel.reset();
        return true;
    }
    if (role == InstanceChannel::Role::Alone) {
        m_channel.reset();
        return false;
    }
    QObject::connect(m_channel.get(), &InstanceChannel::handedOver, m_channel.get(),
                     [this](const QStringList &paths, PathDirection direction) {
                         m_gathering->add(paths, Raise::ToFront, direction);
                     });
    QObject::connect(m_channel.get(), &InstanceChannel::closeRequested, m_channel.get(), [this] {
        log(QStringLiteral("另一个程序请求关闭窗口"));
        closeWindow();
    });
    return false;
}

int OneWindow::closeRunning()
{
    InstanceChannel channel(InstanceChannel::defaultPlace(), log);
    switch (channel.askToClose(kCloseWaitMs)) {
    case InstanceChannel::Closing::NoWindow:
        log(QStringLiteral("没有正在运行的窗口"));
        return 0;
    case InstanceChannel::Closing::Closed:
        log(QStringLiteral("正在运行的窗口已关闭"));
        return 0;
    case InstanceChannel::Closing::NotAnswered:
        log(QStringLiteral("正在运行的窗口没有接受关闭请求"));
        return 1;
    case InstanceChannel::Closing::StillOpen:
        log(QStringLiteral("正在运行的窗口没有在 %1 秒内关闭").arg(kCloseWaitMs / 1000));
        return 1;
    }
    return 1;
}

// The window's own way out, as its close button takes it: whatever it is
// doing stops there first.
void OneWindow::closeWindow()
{
    if (!m_window) {
        m_closeAsked = true;
        return;
    }
    QMetaObject::invokeMethod(m_window.data(), &QWidget::close, Qt::QueuedConnection);
}

void OneWindow::open(QWidget *window, QTabWidget *tabs)
{
    m_window = window;
    m_delivery = std::make_unique<PathDelivery>(window, tabs, log);
    // The window answers from now on, and the other starts of the same
    // command may still be on their way: the gathering starts here.
    if (!m_own.paths.isEmpty())
        m_gathering->add(m_own.paths, Raise::Stays, m_own.direction);
    for (const Request &request : m_early)
        m_delivery->enqueue(request.paths, Raise::ToFront, request.direction);
    m_early.clear();
    if (m_closeAsked)
        closeWindow();
}

void OneWindow::arrived(const Request &request, Raise raise)
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
        log(QStringLiteral("程序退出，未处理：") + QDir::toNativeSeparators(path));
    m_delivery.reset();
}
