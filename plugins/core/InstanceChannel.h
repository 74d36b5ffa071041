// The channel between the starts of the program of one user: a later start
// hands its paths to the window that runs already and ends, so each user has
// one window.
//
// A Unix socket in a folder only the user may enter (PrivateFolder). The
// serving side also asks the kernel who connected and ignores other users;
// the handing side connects only to a socket the user owns, served by the
// same user. A socket that refuses connections (its window was killed) or a
// window that does not answer in time is taken over: the new start serves
// from then on instead of waiting.
#pragma once

#include "LogFn.h"
#include "PathDirection.h"

#include <QObject>
#include <QStringList>

#include <sys/types.h>

class QLocalSocket;
class QSocketNotifier;

class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        HandedOver, // a running window took the paths: this start ends
        Serving,    // this start is the window; later starts hand over here
        Alone,      // no usable channel: this start runs on its own
    };

    // How long a running window may take to answer a hand-over.
    static constexpr int kAnswerTimeoutMs = 1000;

    InstanceChannel(const QString &folder, LogFn log, QObject *parent = nullptr);
    // Stops serving and removes the socket, unless a later start took it over.
    ~InstanceChannel() override;
    Q_DISABLE_COPY(InstanceChannel)

    // Hands `paths` (possibly none) and the direction asked for them to the
    // running window of this user, or becomes the channel that later starts
    // hand theirs to.
    Role claim(const QStringList &paths, PathDirection direction = PathDirection::AsDropped);

    QString socketPath() const;

signals:
    // A later start handed these over; empty when it named no path.
    void handedOver(const QStringList &paths, PathDirection direction);

private:
    bool handOver(const QStringList &paths, PathDirection direction);
    bool listen();
    void acceptPending();
    void serve(QLocalSocket *peer);
    void stopServing();

    QString m_folder;
    LogFn m_log;
    int m_listenFd = -1;
    QSocketNotifier *m_notifier = nullptr;
    // Which file is ours: a later start may have replaced it.
    dev_t m_socketDevice = 0;
    ino_t m_socketInode = 0;
};
