#include "InstanceChannel.h"

#include "PrivateFolder.h"
#include "SystemError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A hand-over: "KSP1", the payload's length (32 bits, big-endian), then the
// paths in UTF-8, each ended by a zero byte (which no path can hold). The
// window answers "OK"; the start that handed over confirms with "GO" and
// ends. Only then does the window take the paths: a start that gave up
// waiting handles its paths itself, and they must not be handled twice.
// "KSP2" is the same with a direction first ("encrypt\0", "decrypt\0"):
// a window that knows only "KSP1" refuses it, and the start opens a window
// of its own, instead of having its paths toggled.
const QByteArray kMagic("KSP1");
const QByteArray kMagicWithDirection("KSP2");
const QByteArray kAck("OK");
const QByteArray kConfirm("GO");
constexpr int kHeaderSize = 8;
constexpr quint32 kMaxPayload = 16 * 1024 * 1024;
// A peer that connected but says nothing is dropped after this.
constexpr int kPeerTimeoutMs = 5000;
// Two starts at once take turns; one stuck while holding the turn is not
// waited for longer than this.
constexpr int kSetupLockWaitMs = 3 * InstanceChannel::kAnswerTimeoutMs;

QByteArray encode(const QStringList &paths, PathDirection direction)
{
    const QByteArray word = pathdirection::toWord(direction);
    QByteArray payload = word.isEmpty() ? QByteArray() : word + '\0';
    for (const QString &path : paths)
        payload += path.toUtf8() + '\0';
    QByteArray length(4, '\0');
    qToBigEndian(quint32(payload.size()), length.data());
    return (word.isEmpty() ? kMagic : kMagicWithDirection) + length + payload;
}

QStringList decodePayload(const QByteArray &payload)
{
    QStringList paths;
    int start = 0;
    for (int end = payload.indexOf('\0'); end >= 0; end = payload.indexOf('\0', start)) {
        paths << QString::fromUtf8(payload.constData() + start, end - start);
        start = end + 1;
    }
    return paths;
}

// False for a message that is neither kind, or names no known direction.
bool decodeMessage(const QByteArray &magic, const QByteArray &payload, QStringList *paths, PathDirection *direction)
{
    *direction = PathDirection::AsDropped;
    if (magic == kMagic) {
        *paths = decodePayload(payload);
        return true;
    }
    const int wordEnd = payload.indexOf('\0');
    if (magic != kMagicWithDirection || wordEnd < 0 || !pathdirection::fromWord(payload.left(wordEnd), direction))
        return false;
    *paths = decodePayload(payload.mid(wordEnd + 1));
    return true;
}

// The user at the other end of a connected Unix socket, -1 if unknown.
qint64 peerUid(qintptr fd)
{
    struct ucred credentials
    { };
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return -1;
    return credentials.uid;
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

} // namespace

InstanceChannel::InstanceChannel(const QString &folder, LogFn log, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
    , m_log(std::move(log))
{
    qRegisterMetaType<PathDirection>();
}

InstanceChannel::~InstanceChannel()
{
    stopServing();
}

QString InstanceChannel::socketPath() const
{
    return m_folder + QStringLiteral("/socket");
}

InstanceChannel::Role InstanceChannel::claim(const QStringList &paths, PathDirection direction)
{
    QString whyNot;
    if (!PrivateFolder::makePrivate(m_folder, &whyNot)) {
        m_log(QStringLiteral("不使用单窗口通道：") + m_folder + QStringLiteral("（") + whyNot + QStringLiteral("）"));
        return Role::Alone;
    }
    SetupLock turn(m_folder + QStringLiteral("/lock"));
    if (handOver(paths, direction))
        return Role::HandedOver;
    return listen() ? Role::Serving : Role::Alone;
}

bool InstanceChannel::handOver(const QStringList &paths, PathDirection direction)
{
    const QString path = socketPath();
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false; // no window runs
    if (!PrivateFolder::isOwnSocket(path)) {
        m_log(QStringLiteral("单窗口通道不是本用户的套接字，已替换：") + path);
        return false;
    }

    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kAnswerTimeoutMs)) {
        m_log(QStringLiteral("上一个窗口已不在，由本窗口接替：") + path);
        return false;
    }
    if (peerUid(socket.socketDescriptor()) != qint64(::geteuid())) {
        m_log(QStringLiteral("单窗口通道由另一个用户提供，已替换：") + path);
        return false;
    }

    socket.write(encode(paths, direction));
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (answer.size() < kAck.size()) {
        const int left = kAnswerTimeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        const bool progressed =
            socket.bytesToWrite() > 0 ? socket.waitForBytesWritten(left) : socket.waitForReadyRead(left);
        answer += socket.read(kAck.size() - answer.size());
        if (!progressed && socket.state() != QLocalSocket::ConnectedState)
            break;
    }
    if (answer != kAck) {
        m_log(QStringLiteral("正在运行的窗口没有应答，由本窗口接替：") + path);
        return false;
    }
    socket.write(kConfirm);
    socket.waitForBytesWritten(kAnswerTimeoutMs);
    socket.disconnectFromServer();
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
    m_listenFd = fd;
    m_socketDevice = info.st_dev;
    m_socketInode = info.st_ino;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceChannel::acceptPending);
    return true;
}

void InstanceChannel::acceptPending()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
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

void InstanceChannel::serve(QLocalSocket *peer)
{
    struct HandOver
    {
        QByteArray received;
        QStringList paths;
        PathDirection direction = PathDirection::AsDropped;
        bool answered = false;
    };
    auto handOver = std::make_shared<HandOver>();
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    connect(peer, &QLocalSocket::disconnected, this, [this, handOver] {
        if (handOver->answered)
            m_log(QStringLiteral("交接未完成，已忽略：%1 个路径").arg(handOver->paths.size()));
    });
    QTimer::singleShot(kPeerTimeoutMs, peer, [peer] { peer->abort(); });
    connect(peer, &QLocalSocket::readyRead, this, [this, peer, handOver] {
        QByteArray &received = handOver->received;
        received += peer->readAll();
        if (!handOver->answered) {
            if (received.size() < kHeaderSize)
                return;
            const quint32 length = qFromBigEndian<quint32>(received.constData() + 4);
            const QByteArray magic = received.left(4);
            if ((magic != kMagic && magic != kMagicWithDirection) || length > kMaxPayload) {
                peer->abort();
                return;
            }
            if (quint32(received.size()) < kHeaderSize + length)
                return;
            if (!decodeMessage(magic, received.mid(kHeaderSize, int(length)), &handOver->paths, &handOver->direction)) {
                peer->abort();
                return;
            }
            received.remove(0, kHeaderSize + int(length));
            handOver->answered = true;
            peer->write(kAck);
        }
        if (received.size() < kConfirm.size())
            return;
        if (received.startsWith(kConfirm)) {
            handOver->answered = false;
            emit handedOver(handOver->paths, handOver->direction);
        }
        peer->abort();
    });
}

void InstanceChannel::stopServing()
{
    if (m_listenFd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_listenFd);
    m_listenFd = -1;
    const QByteArray path = QFile::encodeName(socketPath());
    struct stat info;
    if (::lstat(path.constData(), &info) == 0 && info.st_dev == m_socketDevice && info.st_ino == m_socketInode)
        ::unlink(path.constData());
}
