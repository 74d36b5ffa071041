#include "LogHub.h"

#include "LogPane.h"
#include "LogText.h"
#include "StderrMirror.h"
#include "UserText.h"

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

namespace loghub {

QString stamp()
{
    const qint64 ms = msecsSinceLocalMidnight();
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d  ", int(ms / 3600000), int(ms / 60000 % 60),
                  int(ms / 1000 % 60), int(ms % 1000));
    return QLatin1String(text);
}

QString stamped(const QString &line)
{
    return stamp() + line;
}

void write(const QString &line)
{
    // The line itself goes on unchanged; what people read of it has its
    // control characters escaped.
    const QString time = stamp();
    const QString text = time + logtext::shown(line);
    stderrmirror::write(line, text);

    QMutexLocker lock(&g_paneLock);
    LogPane *target = g_pane;
    if (!target)
        return;
    // What a saved log may hold of it: never a text the user typed.
    const QString kept =
        usertext::carriesUserText(line) ? time + logtext::shown(usertext::withoutUserText(line)) : text;
    if (target->thread() == QThread::currentThread()) {
        // Only this thread deletes the pane: it stays valid unlocked.
        lock.unlock();
        target->appendLine(text, kept);
    } else {
        // Posted while the pane surely exists; dropped if it is gone by then.
        QMetaObject::invokeMethod(
            target, [target, text, kept] { target->appendLine(text, kept); }, Qt::QueuedConnection);
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

} // namespace loghub
