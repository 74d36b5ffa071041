// Hands paths to the window's first plug-in tab that takes drops, as one
// drag and drop per hand-over: the plug-in cannot tell them from a drop by
// the user, and needs nothing of its own to receive them. A direction asked
// on the command line travels with the drop as one more format
// (pluginapi::kDropDirectionFormat), which a drop by the user never has.
//
// Paths wait while the program is busy: inside a nested event loop (a modal
// dialog, a plug-in waiting for its worker) or under a modal window (a batch
// that pumps events under its progress dialog). They are delivered in the
// order they came once it is idle again, never dropped.
#pragma once

#include "LogFn.h"
#include "PathDirection.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>

class QTabWidget;
class QWidget;

class PathDelivery : public QObject
{
    Q_OBJECT

public:
    // How often a busy program is looked at again.
    static constexpr int kRetryIntervalMs = 100;

    PathDelivery(QWidget *window, QTabWidget *tabs, LogFn log, QObject *parent = nullptr);

    // Queues one hand-over. `raise`: bring the window to the front when it
    // is delivered (another start of the program asked for it), also when
    // `paths` is empty. `direction`: how the plug-in is to take them.
    void enqueue(const QStringList &paths, Raise raise, PathDirection direction = PathDirection::AsDropped);

    // Delivers the oldest hand-over if the program is idle. False when
    // nothing was delivered (nothing queued, or busy).
    bool deliverNext();

    bool isIdle() const;
    int pending() const { return int(m_queue.size()); }
    // The paths still waiting, oldest first; the queue is emptied.
    QStringList takePending();

private:
    struct HandOver
    {
        QStringList paths;
        Raise raise = Raise::Stays;
        PathDirection direction = PathDirection::AsDropped;
    };

    void scheduleNext(int delayMs);
    void deliver(const HandOver &handOver);
    void raiseWindow();
    QWidget *dropTarget() const;

    QPointer<QWidget> m_window;
    QPointer<QTabWidget> m_tabs;
    LogFn m_log;
    std::deque<HandOver> m_queue;
    QTimer m_timer;
    bool m_delivering = false;
};
