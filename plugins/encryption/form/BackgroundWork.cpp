#include "BackgroundWork.h"

#include "WindowCloseWatch.h"

#include <QElapsedTimer>
#include <QWidget>

namespace {

constexpr qint64 kDrainSliceMs = 20;

} // namespace

BackgroundWork::BackgroundWork(QObject *context)
    : m_context(context)
{
    if (context) {
        connect(context, &QObject::destroyed, this, [this] {
            cancel();
            m_loop.quit();
        });
    }
    if (auto *widget = qobject_cast<QWidget *>(context)) {
        // Closing the window stops the work as 取消 does: the file in hand
        // keeps its bytes.
        m_closeWatch = std::make_unique<WindowCloseWatch>(widget);
        m_closeWatch->onClose = [this] { cancel(); };
    }
}

BackgroundWork::~BackgroundWork()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundWork::post(Message message)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (message.kind == Message::Kind::Finished)
            m_finished = true;
        m_messages.push_back(std::move(message));
        wake = !m_wakePending;
        m_wakePending = true;
    }
    if (wake)
        QMetaObject::invokeMethod(this, &BackgroundWork::drain, Qt::QueuedConnection);
}

LogFn BackgroundWork::logger()
{
    return [this](const QString &line) { post(Message{Message::Kind::Line, line}); };
}

std::function<void(qint64, qint64)> BackgroundWork::progressReporter()
{
    return [this](qint64 done, qint64 total) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_progressDone = done;
            m_progressTotal = total;
            // One report waiting is enough: it shows the latest figures.
            if (m_progressPending)
                return;
            m_progressPending = true;
        }
        post(Message{Message::Kind::Progress, QString()});
    };
}

bool BackgroundWork::ask(int index)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_stopped)
        return false;
    m_hasAnswer = false;
    lock.unlock();
    post(Message{Message::Kind::Question, QString(), index});
    lock.lock();
    m_answered.wait(lock, [this] { return m_hasAnswer || m_stopped; });
    return m_hasAnswer && m_answer && !m_stopped;
}

void BackgroundWork::cancel()
{
    m_cancelled = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopped = true;
    }
    m_answered.notify_all();
}

// GUI thread: hands on what the worker sent, one message at a time and in
// order. Handing on can turn the event loop (a progress dialog does) and so
// come back here: taking one message at a time keeps the order whichever
// call takes the next one.
void BackgroundWork::drain()
{
    // Thousands of lines (a large folder's walk) would otherwise keep the
    // loop from turning: past this, the rest waits for the next turn.
    QElapsedTimer busy;
    busy.start();
    for (;;) {
        Message message;
        qint64 done = 0;
        qint64 total = 0;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_messages.empty()) {
                m_wakePending = false;
                return;
            }
            if (busy.elapsed() >= kDrainSliceMs && m_loop.isRunning()) {
                QMetaObject::invokeMethod(this, &BackgroundWork::drain, Qt::QueuedConnection);
                return; // still pending: nothing else posts the wake
            }
            message = std::move(m_messages.front());
            m_messages.pop_front();
            if (message.kind == Message::Kind::Progress)
                m_progressPending = false;
            done = m_progressDone;
            total = m_progressTotal;
        }
        switch (message.kind) {
        case Message::Kind::Line:
            if (onLine)
                onLine(message.line);
            break;
        case Message::Kind::Progress:
            if (onProgress)
                onProgress(done, total);
            break;
        case Message::Kind::Question: {
            const bool answer = onQuestion && !m_cancelled && onQuestion(message.index);
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_answer = answer;
                m_hasAnswer = true;
            }
            m_answered.notify_all();
            break;
        }
        case Message::Kind::Finished:
            m_loop.quit();
            break;
        }
    }
}

bool BackgroundWork::run(const std::function<void()> &work)
{
    m_thread = std::thread([this, &work] {
        work();
        post(Message{Message::Kind::Finished, QString()});
    });
    // Returns early when the application quits (which ends every running
    // loop, and makes new ones return at once) or the context goes.
    m_loop.exec();
    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        finished = m_finished;
    }
    if (!finished)
        cancel();
    m_thread.join();
    // Whatever the worker sent after the loop stopped: its lines still count.
    drain();
    return finished;
}
