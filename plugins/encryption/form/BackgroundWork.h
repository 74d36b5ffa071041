// Long work on a thread of its own while the GUI thread keeps its event loop
// turning: the window repaints, moves and answers whatever the disk does.
// The work's log lines, progress and questions come back to the GUI thread
// in the order they were made. The worker side is free of widgets.
#pragma once

#include "LogFn.h"

#include <QEventLoop>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class WindowCloseWatch;

class BackgroundWork : public QObject
{
    Q_OBJECT

public:
    // The work is stopped when `context` is destroyed, and when the window
    // that holds it (a widget's) is asked to close.
    explicit BackgroundWork(QObject *context);
    ~BackgroundWork() override;
    Q_DISABLE_COPY(BackgroundWork)

    // GUI thread. Each line of the work, in order.
    std::function<void(const QString &line)> onLine;
    // GUI thread. The latest progress, at the pace the loop turns.
    std::function<void(qint64 done, qint64 total)> onProgress;
    // GUI thread. The work's question; the worker waits for the answer.
    std::function<bool(int index)> onQuestion;

    // Runs `work` on a new thread and returns once it has returned, all its
    // lines handed on. If the wait is cut short (the application quits, the
    // context is destroyed), the work is cancelled and waited for without
    // the event loop. True when it was not cut short.
    bool run(const std::function<void()> &work);
    // Asks the work to stop; any question from now on is answered false.
    void cancel();

    // Worker thread.
    LogFn logger();
    std::function<void(qint64, qint64)> progressReporter();
    const std::atomic<bool> *cancelFlag() const { return &m_cancelled; }
    bool ask(int index);

private:
    struct Message
    {
        enum class Kind { Line, Progress, Question, Finished } kind = Kind::Line;
        QString line;
        int index = 0;
    };

    void post(Message message);
    void drain();

    QPointer<QObject> m_context;
    std::unique_ptr<WindowCloseWatch> m_closeWatch;
    QEventLoop m_loop;
    std::thread m_thread;
    std::atomic<bool> m_cancelled{false};

    std::mutex m_lock;
    std::condition_variable m_answered;
    std::deque<Message> m_messages;
    bool m_wakePending = false;
    bool m_finished = false;
    bool m_stopped = false;
    bool m_hasAnswer = false;
    bool m_answer = false;
    bool m_progressPending = false;
    qint64 m_progressDone = 0;
    qint64 m_progressTotal = 0;
};
