// Hand-overs that come together become one drop. Explorer's static verbs
// pass one path each, so Explorer starts the program once per selected file:
// a selection of twenty files reaches the window as twenty hand-overs within
// a moment. They are gathered while they keep coming and delivered together
// once none has come for a quiet interval, or once the first has waited the
// longest it may. Only hand-overs that ask the same direction go together; a
// path named twice is delivered once. With a quiet interval of 0 each
// hand-over is delivered as it comes.
#pragma once

#include "PathDirection.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

class HandOverGathering : public QObject
{
    Q_OBJECT

public:
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;
    using Delivery = std::function<void(const QStringList &paths, Raise raise, PathDirection direction)>;

    // Without a clock, the system's steady one.
    HandOverGathering(int quietMs, int longestMs, Delivery deliver, Clock clock = Clock(), QObject *parent = nullptr);

    // `raise`: whether the window is to come to the front when they are
    // delivered.
    void add(const QStringList &paths, Raise raise, PathDirection direction);
    // Delivers what is gathered once it is due; the timer calls it.
    void deliverIfDue();
    // Delivers what is gathered now, due or not.
    void deliverNow();
    bool isGathering() const { return m_gathering; }
    // The gathered paths, not delivered; the gathering is emptied.
    QStringList takePending();

private:
    qint64 dueAt() const;
    void clear();

    int m_quietMs;
    int m_longestMs;
    Delivery m_deliver;
    Clock m_clock;
    QTimer m_timer;

    bool m_gathering = false;
    QStringList m_paths;
    QSet<QString> m_named;
    Raise m_raise = Raise::Stays;
    PathDirection m_direction = PathDirection::AsDropped;
    qint64 m_first = 0;
    qint64 m_last = 0;
};
