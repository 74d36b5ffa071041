#include "PathDelivery.h"

#include "PluginApi.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTabWidget>
#include <QThread>
#include <QUrl>

PathDelivery::PathDelivery(QWidget *window, QTabWidget *tabs, LogFn log, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_tabs(tabs)
    , m_log(std::move(log))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        QPointer<PathDelivery> self(this);
        const bool delivered = deliverNext();
        if (self && !m_queue.empty())
            scheduleNext(delivered ? 0 : kRetryIntervalMs);
    });
}

void PathDelivery::enqueue(const QStringList &paths, Raise raise, PathDirection direction)
{
    if (!isIdle() || !m_queue.empty()) {
        for (const QString &path : paths)
            m_log(QStringLiteral("当前操作结束后再处理：") + QDir::toNativeSeparators(path));
    }
    m_queue.push_back(HandOver{paths, raise, direction});
    if (!m_timer.isActive())
        scheduleNext(0);
}

bool PathDelivery::isIdle() const
{
    // Inside a nested event loop, or under a modal window, some operation
    // waits for its end: a drop now would cut into it.
    return !m_delivering && m_window && m_window->isVisible() && QThread::currentThread()->loopLevel() <= 1
           && !QApplication::activeModalWidget();
}

bool PathDelivery::deliverNext()
{
    if (m_queue.empty() || !isIdle())
        return false;
    const HandOver next = m_queue.front();
    m_queue.pop_front();

    QPointer<PathDelivery> self(this);
    m_delivering = true;
    deliver(next);
    if (self)
        m_delivering = false;
    return true;
}

QStringList PathDelivery::takePending()
{
    QStringList paths;
    for (const HandOver &handOver : m_queue)
        paths << handOver.paths;
    m_queue.clear();
    m_timer.stop();
    return paths;
}

void PathDelivery::scheduleNext(int delayMs)
{
    m_timer.start(delayMs);
}

void PathDelivery::deliver(const HandOver &handOver)
{
    if (handOver.raise == Raise::ToFront)
        raiseWindow();
    if (handOver.direction == PathDirection::Contradictory) {
        for (const QString &path : handOver.paths)
            m_log(QStringLiteral("不能同时加密和解密（--encrypt 与 --decrypt），未处理：")
                  + QDir::toNativeSeparators(path));
        return;
    }

    QList<QUrl> urls;
    for (const QString &path : handOver.paths) {
        if (QFileInfo::exists(path))
            urls << QUrl::fromLocalFile(path);
        else
            m_log(QStringLiteral("路径不存在：") + QDir::toNativeSeparators(path));
    }
    if (urls.isEmpty())
        return;

    QWidget *target = dropTarget();
    if (!target) {
        for (const QUrl &url : urls)
            m_log(QStringLiteral("没有接受拖放的插件，未处理：") + QDir::toNativeSeparators(url.toLocalFile()));
        return;
    }
    m_tabs->setCurrentWidget(target);

    // The same pair of events a drag from a file manager ends with; the
    // drop reaches only a widget that accepted the drag first.
    QMimeData mime;
    mime.setUrls(urls);
    const QByteArray direction = pathdirection::toWord(handOver.direction);
    if (!direction.isEmpty())
        mime.setData(QLatin1String(pluginapi::kDropDirectionFormat), direction);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        for (const QUrl &url : urls)
            m_log(QStringLiteral("插件没有接受拖放，未处理：") + QDir::toNativeSeparators(url.toLocalFile()));
        return;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

void PathDelivery::raiseWindow()
{
    if (!m_window)
        return;
    m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

QWidget *PathDelivery::dropTarget() const
{
    for (int i = 0; m_tabs && i < m_tabs->count(); ++i) {
        QWidget *page = m_tabs->widget(i);
        if (page && page->acceptDrops())
            return page;
    }
    return nullptr;
}
