// Tells the desktop that long work has ended while the user looked at
// another window: a folder batch or a large file, with its summary line.
// Work that ends while one of the program's windows is active, or that was
// over quickly, tells nothing: the user saw it end.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// Where a notice goes: the desktop's notifications (DesktopNotice.h), or a
// test's record.
class NoticeSink
{
public:
    virtual ~NoticeSink() = default;
    virtual void show(const QString &title, const QString &text) = 0;
};

class WorkNotice
{
public:
    // Work shorter than this the user has hardly turned away from.
    static constexpr qint64 kLongWorkMs = 5000;

    using WindowActive = std::function<bool()>;

    // `windowActive`: whether one of the program's windows has the focus now.
    // Without a sink nothing is told.
    WorkNotice(WindowActive windowActive, std::unique_ptr<NoticeSink> sink);

    // Work that ran `elapsedMs` has ended with `summary` (its last log
    // line). True when the desktop was told.
    bool workEnded(const QString &summary, qint64 elapsedMs);

private:
    WindowActive m_windowActive;
    std::unique_ptr<NoticeSink> m_sink;
};
