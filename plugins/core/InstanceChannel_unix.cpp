#include "InstanceChannel.h"

#include "HandOverProtocol.h"
#include "PrivateFolder_unix.h"
#include "SystemError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Two starts at once take turns; one stuck while holding the turn is not
// waited for longer than this.
constexpr int kSetupLockWaitMs = 3 * InstanceChannel::kAnswerTimeoutMs;

// Who is at the other end of a connected Unix socket; uid -1 if unknown.
struct ucred peerOf(qintptr fd)
{
    struct ucred credentials
    { };
    credentials.uid = uid_t(-1);
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        credentials.uid = uid_t(-1);
    return credentials;
}

qint64 peerUid(qintptr fd)
{
    const uid_t uid = peerOf(fd).uid;
    return uid == uid_t(-1) ? -1 : qint64(uid);
}

// A descriptor that stands for process `pid` and no later one of its
// number; -1 where the kernel has none (before 5.3).
int processDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid)
    return -1;
#endif
}

// Waits up to `waitMs` for the process that `pidFd` (pidfd_open) stands for
// to end; with no such descriptor (a kernel before 5.3), for `pid` to vanish.
bool waitForEnd(int pidFd, pid_t pid, int waitMs)
{
    if (pidFd >= 0) {
        struct pollfd ended
        { };
        ended.fd = pidFd;
        ended.events = POLLIN;
        int polled;
        do {
            polled = ::poll(&ended, 1, waitMs);
        } while (polled < 0 && errno == EINTR);
        return polled > 0;
    }
    QElapsedTimer waited;
    waited.start();
    while (::kill(pid, 0) == 0 || errno != ESRCH) {
        if (waited.elapsed() > waitMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString systemError()
{
    return systemErrorText(errno);
}

// Serialises the claim of two starts at once, so that one does not take the
// other's socket for stale while it is being set up.
class SetupLock
{
public:
    explicit SetupLock(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0)
            return;
        QElapsedTimer waited;
        waited.start();
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            if (waited.elapsed() > kSetupLockWaitMs)
                return; // go on without: a stuck start must not block this one
            QThread::msleep(10);
        }
    }
    ~SetupLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    SetupLock(const SetupLock &) = delete;
    SetupLock &operator=(const SetupLock &) = delete;

private:
    int m_fd = -1;
};

// Connects `socket` to this user's window at `path`; false (and `gone` when
// no window answers there any more) when it is not to be talked to.
bool reachWindow(QLocalSocket &socket, const QString &path, const LogFn &log, bool *gone)
{
    *gone = true;
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false; // no window runs
    if (!privatefolder::isOwnSocket(path)) {
        log(QStringLiteral("单窗口通道不是本用户的套接字，已替换：") + path);
        return false;
    }
    socket.connectToServer(path);
    if (!socket.waitForConnected(InstanceChannel::kAnswerTimeoutMs)) {
        log(QStringLiteral("上一个窗口已不在，由本窗口接替：") + path);
        return false;
    }
    *gone = false;
    if (peerUid(socket.socketDescriptor()) != qint64(::geteuid())) {
        log(QStringLiteral("单窗口通道由另一个用户提供，已替换：") + path);
        return false;
    }
    return true;
}

} // namespace

struct InstanceChannel::System
{
    int listenFd = -1;
    QSocketNotifier *notifier = nullptr;
    // Which file is ours: a later start may have replaced it.
    dev_t socketDevice = 0;
    ino_t socketInode = 0;
};

InstanceChannel::System *InstanceChannel::newSystem()
{
    return new System;
}

void InstanceChannel::SystemDeleter::operator()(System *system) const
{
    delete system;
}

QString InstanceChannel::defaultPlace()
{
    return privatefolder::channelFolder();
}

QString InstanceChannel::socketPath() const
{
    return m_place + QStringLiteral("/socket");
}

InstanceChannel::Role InstanceChannel::claim(const QStringList &paths, PathDirection direction)
{
    QString whyNot;
    if (!privatefolder::makePrivate(m_place, &whyNot)) {
        m_log(QStringLiteral("不使用单窗口通道：") + m_place + QStringLiteral("（") + whyNot + QStringLiteral("）"));
        return Role::Alone;
    }
    SetupLock turn(m_place + QStringLiteral("/lock"));
    if (handOver(paths, direction))
        return Role::HandedOver;
    return listen() ? Role::Serving : Role::Alone;
}

InstanceChannel::Closing InstanceChannel::askToClose(int waitMs)
{
    QString whyNot;
    if (!privatefolder::makePrivate(m_place, &whyNot)) {
        m_log(QStringLiteral("不使用单窗口通道：") + m_place + QStringLiteral("（") + whyNot + QStringLiteral("）"));
        return Closing::NotAnswered;
    }
    int pidFd = -1;
    pid_t pid = 0;
    {
        SetupLock turn(m_place + QStringLiteral("/lock"));
        QLocalSocket socket;
        bool gone = false;
        if (!reachWindow(socket, socketPath(), m_log, &gone))
            return gone ? Closing::NoWindow : Closing::NotAnswered;
        // Taken from before the request, so that the program waited for is
        // the one asked, whatever number its end frees.
        pid = peerOf(socket.socketDescriptor()).pid;
        pidFd = processDescriptor(pid);
        if (pid <= 0 || !handoverprotocol::sendCloseRequest(socket, kAnswerTimeoutMs)) {
            if (pidFd >= 0)
                ::close(pidFd);
            return Closing::NotAnswered;
        }
    }
    const bool ended = waitForEnd(pidFd, pid, waitMs);
    if (pidFd >= 0)
        ::close(pidFd);
    return ended ? Closing::Closed : Closing::StillOpen;
}

bool InstanceChannel::handOver(const QStringList &paths, PathDirection direction)
{
    const QString path = socketPath();
    QLocalSocket socket;
    bool gone = false;
    if (!reachWindow(socket, socketPath(), m_log, &gone))
        return false;

    if (!handoverprotocol::send(socket, paths, direction, kAnswerTimeoutMs)) {
        m_log(QStringLiteral("正在运行的窗口没有应答，由本窗口接替：") + path);
        return false;
    }
    m_log(QStringLiteral("已交给正在运行的窗口：%1 个路径").arg(paths.size()));
    return true;
}

bool InstanceChannel::listen()
{
    const QByteArray path = QFile::encodeName(socketPath());
    struct sockaddr_un address
    { };
    if (size_t(path.size()) >= sizeof address.sun_path) {
        m_log(QStringLiteral("单窗口通道的路径太长：") + socketPath());
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

    ::unlink(path.constData()); // stale, or its window did not answer
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    struct stat info;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::lstat(path.constData(), &info) != 0) {
        m_log(QStringLiteral("无法建立单窗口通道：") + socketPath() + QStringLiteral("（") + systemError()
              + QStringLiteral("）"));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_system->listenFd = fd;
    m_system->socketDevice = info.st_dev;
    m_system->socketInode = info.st_ino;
    m_system->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_system->notifier, &QSocketNotifier::activated, this, &InstanceChannel::acceptPending);
    return true;
}

void InstanceChannel::acceptPending()
{
    for (;;) {
        const int fd = ::accept4(m_system->listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // none left
        }
        const qint64 uid = peerUid(fd);
        if (uid != qint64(::geteuid())) {
            m_log(QStringLiteral("拒绝了另一个用户的连接（uid %1）").arg(uid));
            ::close(fd);
            continue;
        }
        auto *peer = new QLocalSocket(this);
        if (!peer->setSocketDescriptor(fd)) {
            ::close(fd);
            delete peer;
            continue;
        }
        serve(peer);
    }
}

void InstanceChannel::stopServing()
{
    if (m_system->listenFd < 0)
        return;
    delete m_system->notifier;
    m_system->notifier = nullptr;
    ::close(m_system->listenFd);
    m_system->listenFd = -1;
    const QByteArray path = QFile::encodeName(socketPath());
    struct stat info;
    if (::lstat(path.constData(), &info) == 0 && info.st_dev == m_system->socketDevice
        && info.st_ino == m_system->socketInode)
        ::unlink(path.constData());
}
