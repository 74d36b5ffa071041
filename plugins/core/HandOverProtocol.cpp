#include "HandOverProtocol.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <memory>

namespace handoverprotocol {
namespace {

const QByteArray kMagic("KSP1");
const QByteArray kMagicWithDirection("KSP2");
const QByteArray kMagicClose("KSQ1");
const QByteArray kAck("OK");
const QByteArray kConfirm("GO");
constexpr int kHeaderSize = 8;
constexpr quint32 kMaxPayload = 16 * 1024 * 1024;
// A peer that connected but says nothing is dropped after this.
constexpr int kPeerTimeoutMs = 5000;

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

bool isKnown(const QByteArray &magic)
{
    return magic == kMagic || magic == kMagicWithDirection || magic == kMagicClose;
}

// False for a message of no known kind, one that names no known direction,
// or a request to close that carries anything.
bool decodeMessage(const QByteArray &magic, const QByteArray &payload, QStringList *paths, PathDirection *direction)
{
    *direction = PathDirection::AsDropped;
    if (magic == kMagicClose)
        return payload.isEmpty();
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

struct Incoming
{
    QByteArray received;
    QStringList paths;
    PathDirection direction = PathDirection::AsDropped;
    bool closeRequest = false;
    bool answered = false;
    bool finished = false;
};

// Takes what arrived; false when the peer is to be dropped.
bool readFrom(QLocalSocket *peer, Incoming &incoming)
{
    QByteArray &received = incoming.received;
    received += peer->readAll();
    if (incoming.answered)
        return true;
    if (received.size() < kHeaderSize)
        return true;
    const quint32 length = qFromBigEndian<quint32>(received.constData() + 4);
    const QByteArray magic = received.left(4);
    if (!isKnown(magic) || length > kMaxPayload)
        return false;
    if (quint32(received.size()) < kHeaderSize + length)
        return true;
    if (!decodeMessage(magic, received.mid(kHeaderSize, int(length)), &incoming.paths, &incoming.direction))
        return false;
    incoming.closeRequest = magic == kMagicClose;
    received.remove(0, kHeaderSize + int(length));
    incoming.answered = true;
    peer->write(kAck);
    return true;
}

} // namespace

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

QByteArray encodeCloseRequest()
{
    return kMagicClose + QByteArray(4, '\0');
}

namespace {

// Writes `message`, waits for the answer and confirms it.
bool exchange(QLocalSocket &socket, const QByteArray &message, int timeoutMs)
{
    socket.write(message);
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (answer.size() < kAck.size()) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        const bool progressed =
            socket.bytesToWrite() > 0 ? socket.waitForBytesWritten(left) : socket.waitForReadyRead(left);
        answer += socket.read(kAck.size() - answer.size());
        if (!progressed && socket.state() != QLocalSocket::ConnectedState)
            break;
    }
    if (answer != kAck)
        return false;
    socket.write(kConfirm);
    socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

} // namespace

bool send(QLocalSocket &socket, const QStringList &paths, PathDirection direction, int timeoutMs)
{
    return exchange(socket, encode(paths, direction), timeoutMs);
}

bool sendCloseRequest(QLocalSocket &socket, int timeoutMs)
{
    return exchange(socket, encodeCloseRequest(), timeoutMs);
}

void serve(QLocalSocket *peer, QObject *context, const LogFn &log, const Receiver &receive, const CloseReceiver &close)
{
    auto incoming = std::make_shared<Incoming>();
    // Once confirmed, or dropped unanswered, the peer has nothing more to say.
    auto take = [peer, incoming, receive, close] {
        if (incoming->finished)
            return;
        if (!readFrom(peer, *incoming)) {
            incoming->finished = true;
            peer->abort();
            return;
        }
        if (!incoming->answered || incoming->received.size() < kConfirm.size())
            return;
        if (incoming->received.startsWith(kConfirm)) {
            incoming->finished = true;
            if (incoming->closeRequest)
                close();
            else
                receive(incoming->paths, incoming->direction);
        }
        peer->abort();
    };
    QObject::connect(peer, &QLocalSocket::readyRead, context, take);
    // A pipe on Windows can say it closed before the last bytes are read.
    QObject::connect(peer, &QLocalSocket::disconnected, context, [take, log, incoming] {
        take();
        if (incoming->answered && !incoming->finished)
            log(incoming->closeRequest ? QStringLiteral("关闭请求未确认，已忽略")
                                       : QStringLiteral("交接未完成，已忽略：%1 个路径").arg(incoming->paths.size()));
        incoming->finished = true;
    });
    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    QTimer::singleShot(kPeerTimeoutMs, peer, [peer] { peer->abort(); });
}

} // namespace handoverprotocol
