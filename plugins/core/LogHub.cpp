#include "LogHub.h"

#include "LogPane.h"

#include <QDateTime>
#include <QPointer>

#include <cstdio>

namespace {

QPointer<LogPane> &pane()
{
    static QPointer<LogPane> current;
    return current;
}

// Local time of day in milliseconds. Asking for the local time re-reads the
// time zone each call, which would cost more than the rest of a log line:
// the offset is looked up once a minute.
qint64 msecsSinceLocalMidnight()
{
    static qint64 offsetMs = 0;
    static qint64 checkedAt = -1;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (checkedAt < 0 || now < checkedAt || now - checkedAt >= 60 * 1000) {
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc()) * 1000;
        checkedAt = now;
    }
    constexpr qint64 day = 24 * 60 * 60 * 1000;
    return ((now + offsetMs) % day + day) % day;
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
    // One write per line keeps lines whole when stderr is shared.
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    if (LogPane *target = pane())
        target->appendLine(text);
}

void attachPane(LogPane *target)
{
    pane() = target;
}

} // namespace LogHub
