// The channel between the starts of the program of one user: a later start
// hands its paths to the window that runs already and ends, so each user has
// one window. What they say is HandOverProtocol's; how they meet is the
// system's:
//
// - Unix: a socket in a folder only the user may enter (PrivateFolder). The
//   serving side also asks the kernel who connected and ignores other users;
//   the handing side connects only to a socket the user owns, served by the
//   same user.
// - Windows: a named pipe that only the user may open, named from the user's
//   SID, the session and the serving process, and announced under the
//   user's own registry key. The handing side uses a pipe only if the user
//   owns it and nobody else may open it.
//
// A channel that refuses connections (its window was killed) or a window that
// does not answer in time is taken over: the new start serves from then on
// instead of waiting.
//
// A start may also ask the running window to close (an installer does,
// before it replaces or removes the program's files): the window closes as
// its close button closes it, and the start waits for its program to end.
#pragma once

#include "LogFn.h"
#include "PathDirection.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalSocket;

class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        HandedOver, // a running window took the paths: this start ends
        Serving,    // this start is the window; later starts hand over here
        Alone,      // no usable channel: this start runs on its own
    };

    // What came of asking the running window to close.
    enum class Closing {
        NoWindow,    // none runs (or none answers on the channel any more)
        Closed,      // it closed, and its program ended
        NotAnswered, // it did not take the request
        StillOpen,   // it took it, but its program had not ended in time
    };

    // How long a running window may take to answer a hand-over.
    static constexpr int kAnswerTimeoutMs = 1000;

    // Where this user's starts meet: the private folder on Unix
    // (privatefolder::channelFolder), a name from the user's SID and the
    // session on Windows.
    static QString defaultPlace();

    InstanceChannel(const QString &place, LogFn log, QObject *parent = nullptr);
    // Stops serving and withdraws the channel, unless a later start took it
    // over.
    ~InstanceChannel() override;
    Q_DISABLE_COPY(InstanceChannel)

    // Hands `paths` (possibly none) and the direction asked for them to the
    // running window of this user, or becomes the channel that later starts
    // hand theirs to.
    Role claim(const QStringList &paths, PathDirection direction = PathDirection::AsDropped);

    // Asks the running window of this user to close, and waits up to
    // `waitMs` for its program to end. This start serves nothing.
    Closing askToClose(int waitMs);

    // The socket file (Unix) or the pipe this start serves on (Windows).
    QString socketPath() const;

signals:
    // A later start handed these over; empty when it named no path.
    void handedOver(const QStringList &paths, PathDirection direction);
    // A later start asked this window to close.
    void closeRequested();

private:
    // What each system keeps of the channel it serves: a socket file and its
    // descriptor (InstanceChannel_unix.cpp), a named pipe and its server
    // (InstanceChannel_win.cpp).
    struct System;
    struct SystemDeleter
    {
        void operator()(System *system) const;
    };
    static System *newSystem();

    bool handOver(const QStringList &paths, PathDirection direction);
    bool listen();
    void acceptPending();
    void serve(QLocalSocket *peer);
    void stopServing();

    QString m_place;
    LogFn m_log;
    std::unique_ptr<System, SystemDeleter> m_system;
};
