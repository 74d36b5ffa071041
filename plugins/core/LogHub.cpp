#include "LogHub.h"

#include "LogPane.h"
#include "StderrMirror.h"

#include <QDateTime>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <cstdio>

namespace {

// The pane is set and cleared on the GUI thread; a plug-in's worker thread
// may read it, hence the lock.
QMutex g_paneLock;
LogPane *g_pane = nullptr;

// Local time of day in milliseconds. Asking for the local time re-reads the
// time zone each call, which would cost more than the rest of a log line:
// the offset is looked up once a minute.
qint64 msecsSinceLocalMidnight()
{
    static std::atomic<qint64> offsetMs{0};
    static std::atomic<qint64> checkedAt{-1};
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 checked = checkedAt.load();
    if (checked < 0 || now < checked || now - checked >= 60 * 1000) {
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc()) * 1000;
        checkedAt = now;
    }
    constexpr qint64 day = 24 * 60 * 60 * 1000;
    return ((now + offsetMs.load()) % day + day) % day;
}

} // namespace

namespace LogHub {

QString stamped(const QString &line)
{
    const qint64 ms = msecsSinceLocalMidnight();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d  ", int(ms / 3600000), int(ms / 60000 % 60),
                  int(ms / 1000 % 60), int(ms % 1000));
    return QLatin1String(stamp) + line;
}

void write(const QString &line)
{
    const QString text = stamped(line);
    StderrMirror::write(line, text);

    QMutexLocker lock(&g_paneLock);
    LogPane *target = g_pane;
    if (!target)
        return;
    if (target->thread() == QThread::currentThread()) {
        // Only this thread deletes the pane: it stays valid unlocked.
        lock.unlock();
        target->appendLine(text);
    } else {
        // Posted while the pane surely exists; dropped if it is gone by then.
        QMetaObject::invokeMethod(
            target, [target, text] { target->appendLine(text); }, Qt::QueuedConnection);
    }
}

void attachPane(LogPane *pane)
{
    QMutexLocker lock(&g_paneLock);
    g_pane = pane;
}

void detachPane(LogPane *pane)
{
    QMutexLocker lock(&g_paneLock);
    if (g_pane == pane)
        g_pane = nullptr;
}

} // namespace LogHub
