#include "HandOverGathering.h"

#include <algorithm>
#include <chrono>

namespace {

qint64 steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

HandOverGathering::HandOverGathering(int quietMs, int longestMs, Delivery deliver, Clock clock, QObject *parent)
    : QObject(parent)
    , m_quietMs(quietMs)
    , m_longestMs(longestMs)
    , m_deliver(std::move(deliver))
    , m_clock(clock ? std::move(clock) : Clock(steadyMilliseconds))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HandOverGathering::deliverIfDue);
}

void HandOverGathering::add(const QStringList &paths, Raise raise, PathDirection direction)
{
    if (m_quietMs <= 0) {
        m_deliver(paths, raise, direction);
        return;
    }
    if (m_gathering && direction != m_direction)
        deliverNow();
    const qint64 now = m_clock();
    if (!m_gathering) {
        m_gathering = true;
        m_direction = direction;
        m_first = now;
    }
    m_last = now;
    if (raise == Raise::ToFront)
        m_raise = Raise::ToFront;
    for (const QString &path : paths) {
        if (!m_named.contains(path)) {
            m_named.insert(path);
            m_paths << path;
        }
    }
    m_timer.start(int(std::max<qint64>(0, dueAt() - now)));
}

void HandOverGathering::deliverIfDue()
{
    if (!m_gathering)
        return;
    const qint64 now = m_clock();
    if (now >= dueAt())
        deliverNow();
    else
        m_timer.start(int(dueAt() - now));
}

void HandOverGathering::deliverNow()
{
    if (!m_gathering)
        return;
    const QStringList paths = m_paths;
    const Raise raise = m_raise;
    const PathDirection direction = m_direction;
    clear();
    m_deliver(paths, raise, direction);
}

QStringList HandOverGathering::takePending()
{
    QStringList paths = m_paths;
    clear();
    return paths;
}

qint64 HandOverGathering::dueAt() const
{
    return std::min(m_last + m_quietMs, m_first + m_longestMs);
}

void HandOverGathering::clear()
{
    m_timer.stop();
    m_gathering = false;
    m_paths.clear();
    m_named.clear();
    m_raise = Raise::Stays;
}
