// One window per user, and the paths that reach it: those on its own
// command line once it is shown, then those that later starts of the
// program hand over. On Windows, where Explorer starts the program once per
// selected file, those that come together (its own included) are gathered
// into one drop (HandOverGathering).
#pragma once

#include "PathDirection.h"

#include <QPointer>
#include <QStringList>

#include <memory>
#include <vector>

class HandOverGathering;
class InstanceChannel;
class PathDelivery;
class QTabWidget;
class QWidget;

class OneWindow
{
public:
    OneWindow();
    ~OneWindow();
    Q_DISABLE_COPY(OneWindow)

    // Reads the paths of the command line and the direction asked for them.
    // True when a window of this user runs already and took them: this start
    // has nothing more to do.
    bool handOver(int argc, char **argv);
    // Asks this user's running window to close and waits for its program to
    // end (--quit-running); the exit status of this start: 0 when no window
    // runs any more, 1 when one still may.
    int closeRunning();
    // The window is shown: paths go to its first tab that takes drops, and a
    // request to close closes it as its close button does.
    void open(QWidget *window, QTabWidget *tabs);
    // No more hand-overs; paths still waiting are named in the log.
    void close();

private:
    struct Request
    {
        QStringList paths;
        PathDirection direction = PathDirection::AsDropped;
    };

    void arrived(const Request &request, Raise raise);
    void closeWindow();

    Request m_own;
    std::unique_ptr<HandOverGathering> m_gathering;
    std::unique_ptr<InstanceChannel> m_channel;
    std::unique_ptr<PathDelivery> m_delivery;
    // Handed over before the window was shown.
    std::vector<Request> m_early;
    QPointer<QWidget> m_window;
    // Asked to close before the window was shown.
    bool m_closeAsked = false;
};
