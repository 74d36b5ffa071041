// The other end of the one-window channel, in a process of its own (and as
// another user when run under setpriv).
//
//   channel_probe claim FOLDER [PATH...]  claims as a later start would and
//                                         prints the role it got
//   channel_probe encrypt|decrypt FOLDER [PATH...]
//                                         the same, asking for a direction
//   channel_probe send SOCKET [PATH...]   hands PATHs over without any of
//                                         the checks, as a hostile peer would,
//                                         and prints the answer
//   channel_probe send-with WORD SOCKET [PATH...]
//                                         the same with a direction word
//   channel_probe serve FOLDER            serves as a window would, prints
//                                         "serving", and on a request to
//                                         close prints "close requested"
//                                         and ends
//   channel_probe close FOLDER WAIT_MS    asks the running window to close
//                                         and prints what came of it
// Log lines are printed as "log <line>".
#include "InstanceChannel.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QtEndian>

#include <cstdio>

namespace {

void print(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int claim(const QString &folder, const QStringList &paths, PathDirection direction = PathDirection::AsDropped)
{
    InstanceChannel channel(folder, [](const QString &line) { print(QStringLiteral("log ") + line); });
    switch (channel.claim(paths, direction)) {
    case InstanceChannel::Role::HandedOver:
        print(QStringLiteral("handed over"));
        break;
    case InstanceChannel::Role::Serving:
        print(QStringLiteral("serving"));
        break;
    case InstanceChannel::Role::Alone:
        print(QStringLiteral("alone"));
        break;
    }
    return 0;
}

int send(const QString &socketPath, const QStringList &paths, const QByteArray &word = QByteArray())
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(30000)) {
        print(QStringLiteral("not connected: ") + socket.errorString());
        return 0;
    }
    QByteArray payload = word.isNull() ? QByteArray() : word + '\0';
    for (const QString &path : paths)
        payload += path.toUtf8() + '\0';
    QByteArray length(4, '\0');
    qToBigEndian(quint32(payload.size()), length.data());
    socket.write((word.isNull() ? "KSP1" : "KSP2") + length + payload);
    socket.waitForBytesWritten(30000);
    // Until the other side answers or hangs up; the bound only guards
    // against a hung test. No confirmation follows.
    QByteArray answer;
    while (answer.size() < 2 && socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(30000))
        answer += socket.readAll();
    answer += socket.readAll();
    print(QStringLiteral("answer \"%1\"").arg(QString::fromLatin1(answer)));
    return 0;
}

int serve(const QString &folder)
{
    InstanceChannel channel(folder, [](const QString &line) { print(QStringLiteral("log ") + line); });
    if (channel.claim({}) != InstanceChannel::Role::Serving)
        return 1;
    QObject::connect(&channel, &InstanceChannel::closeRequested, [] {
        print(QStringLiteral("close requested"));
        QCoreApplication::quit();
    });
    print(QStringLiteral("serving"));
    return QCoreApplication::exec();
}

int askToClose(const QString &folder, int waitMs)
{
    InstanceChannel channel(folder, [](const QString &line) { print(QStringLiteral("log ") + line); });
    switch (channel.askToClose(waitMs)) {
    case InstanceChannel::Closing::NoWindow:
        print(QStringLiteral("no window"));
        break;
    case InstanceChannel::Closing::Closed:
        print(QStringLiteral("closed"));
        break;
    case InstanceChannel::Closing::NotAnswered:
        print(QStringLiteral("not answered"));
        break;
    case InstanceChannel::Closing::StillOpen:
        print(QStringLiteral("still open"));
        break;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return 2;
    const QString mode = args.takeFirst();
    const QString where = args.takeFirst();
    if (mode == QLatin1String("serve"))
        return serve(where);
    if (mode == QLatin1String("close") && args.size() == 1)
        return askToClose(where, args.first().toInt());
    if (mode == QLatin1String("claim"))
        return claim(where, args);
    if (mode == QLatin1String("encrypt") || mode == QLatin1String("decrypt"))
        return claim(where, args, mode == QLatin1String("encrypt") ? PathDirection::Encrypt : PathDirection::Decrypt);
    if (mode == QLatin1String("send"))
        return send(where, args);
    if (mode == QLatin1String("send-with") && !args.isEmpty()) {
        const QString socketPath = args.takeFirst();
        return send(socketPath, args, where.toUtf8());
    }
    return 2;
}
