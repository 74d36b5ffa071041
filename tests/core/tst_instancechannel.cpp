// The channel between the starts of one user: which folders it trusts, a
// hand-over from another process, a stale socket and a window that does not
// answer taken over, other users kept out, and a window asked to close
// whose end is waited for. As root, the other user is
// "nobody" (setpriv), as the reliability tests do it.
#include "InstanceChannel.h"
#include "PrivateFolder_unix.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

struct ProbeResult
{
    int exitCode = -1;
    QStringList lines;
};

// Runs the probe while this process keeps serving (the event loop runs).
ProbeResult runProbe(const QStringList &arguments, const QStringList &wrapper = {})
{
    QStringList command = wrapper;
    command << QStringLiteral(CHANNEL_PROBE) << arguments;
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    QObject::connect(&probe, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&probe, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit); // only against a hung probe
    probe.start(command.takeFirst(), command);
    loop.exec();
    ProbeResult result;
    if (probe.state() != QProcess::NotRunning) {
        probe.kill();
        probe.waitForFinished();
        return result;
    }
    result.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    result.lines = QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return result;
}

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

// A socket file that nobody listens on any more, as a killed window leaves.
bool leaveStaleSocket(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct sockaddr_un address
    { };
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class TestInstanceChannel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;
    QStringList m_log;
    QStringList m_asNobody; // empty unless root with setpriv

    LogFn logger()
    {
        return [this](const QString &line) { m_log << line; };
    }
    QString folder(const QString &name) const { return m_base.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_base.isValid());
        // Other users must reach the folders, never into them.
        QCOMPARE(::chmod(QFile::encodeName(m_base.path()).constData(), 0755), 0);
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (::geteuid() == 0 && !setpriv.isEmpty())
            m_asNobody = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
    }

    void init() { m_log.clear(); }

    void folderIsMadePrivateAndTheSocketRemovedAtTheEnd()
    {
        const QString dir = folder("fresh");
        QString socket;
        {
            InstanceChannel channel(dir, logger());
            QCOMPARE(channel.claim({}), InstanceChannel::Role::Serving);
            socket = channel.socketPath();
            QVERIFY(S_ISDIR(modeOf(dir)));
            QCOMPARE(modeOf(dir) & 07777, mode_t(0700));
            QVERIFY(privatefolder::isOwnSocket(socket));
        }
        QCOMPARE(modeOf(socket), mode_t(0));
        QCOMPARE(m_log, QStringList());
        // The channel's folder for a session, and without one.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_base.path()));
        QCOMPARE(privatefolder::channelFolder(), m_base.path() + "/keystrel");
        qputenv("XDG_RUNTIME_DIR", "");
        QCOMPARE(privatefolder::channelFolder(), QStringLiteral("/tmp/keystrel-%1").arg(::geteuid()));
    }

    void untrustedFoldersAreNotUsed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why");
        QTest::newRow("open to others") << "open"
                                        << "其他用户可以访问（权限 755）";
        QTest::newRow("open to the group") << "group"
                                           << "其他用户可以访问（权限 750）";
        QTest::newRow("a link to a private folder") << "link"
                                                    << "不是文件夹";
        QTest::newRow("a file") << "file"
                                << "不是文件夹";
        QTest::newRow("another user's") << "theirs"
                                        << "属于另一个用户（uid 65534）";
    }

    void untrustedFoldersAreNotUsed()
    {
        QFETCH(QString, name);
        QFETCH(QString, why);
        const QString dir = folder(name);
        const QByteArray path = QFile::encodeName(dir);
        if (name == "open" || name == "group") {
            QVERIFY(QDir().mkpath(dir));
            QCOMPARE(::chmod(path.constData(), name == "open" ? 0755 : 0750), 0);
        } else if (name == "link") {
            QVERIFY(QDir().mkpath(folder("private")));
            QCOMPARE(::chmod(QFile::encodeName(folder("private")).constData(), 0700), 0);
            QVERIFY(QFile::link(folder("private"), dir));
        } else if (name == "file") {
            QFile file(dir);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QVERIFY(QDir().mkpath(dir));
            QCOMPARE(::chmod(path.constData(), 0700), 0);
            QCOMPARE(::chown(path.constData(), kNobody, kNobody), 0);
        }

        InstanceChannel channel(dir, logger());
        QCOMPARE(channel.claim({"/some/path"}), InstanceChannel::Role::Alone);
        QCOMPARE(m_log, QStringList{"不使用单窗口通道：" + dir + "（" + why + "）"});
        QVERIFY(!QFileInfo::exists(dir + "/socket"));
        QVERIFY(!QFileInfo::exists(folder("private") + "/socket"));
    }

    void handsOverToTheRunningWindow()
    {
        InstanceChannel window(folder("handover"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);

        const QStringList paths{"/tmp/第一个 文件.txt", "/tmp/folder", "/tmp/line\nbreak"};
        ProbeResult later = runProbe(QStringList{"claim", folder("handover")} + paths);
        QCOMPARE(later.exitCode, 0);
        QCOMPARE(later.lines, QStringList({"log 已交给正在运行的窗口：3 个路径", "handed over"}));
        QTRY_COMPARE(handedOver.size(), 1);
        QCOMPARE(handedOver.at(0).at(0).toStringList(), paths);

        // Without paths: the window only comes to the front.
        later = runProbe({"claim", folder("handover")});
        QCOMPARE(later.lines.last(), QStringLiteral("handed over"));
        QTRY_COMPARE(handedOver.size(), 2);
        QCOMPARE(handedOver.at(1).at(0).toStringList(), QStringList());
        QCOMPARE(m_log, QStringList());
    }

    // A direction travels with the paths; a word the window does not know
    // is refused like any malformed hand-over, never taken as a plain one.
    void directionIsHandedOverToo()
    {
        InstanceChannel window(folder("direction"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);

        QCOMPARE(runProbe({"decrypt", folder("direction"), "/tmp/a", "/tmp/b"}).lines.last(),
                 QStringLiteral("handed over"));
        QTRY_COMPARE(handedOver.size(), 1);
        QCOMPARE(handedOver.at(0).at(0).toStringList(), QStringList({"/tmp/a", "/tmp/b"}));
        QCOMPARE(handedOver.at(0).at(1).value<PathDirection>(), PathDirection::Decrypt);
        QCOMPARE(runProbe({"claim", folder("direction"), "/tmp/c"}).lines.last(), QStringLiteral("handed over"));
        QTRY_COMPARE(handedOver.size(), 2);
        QCOMPARE(handedOver.at(1).at(1).value<PathDirection>(), PathDirection::AsDropped);

        QCOMPARE(runProbe({"send-with", "sideways", window.socketPath(), "/tmp/d"}).lines, QStringList{"answer \"\""});
        QCOMPARE(runProbe({"send-with", "encrypt", window.socketPath(), "/tmp/e"}).lines, QStringList{"answer \"OK\""});
        QCOMPARE(handedOver.size(), 2); // neither confirmed
        QTRY_COMPARE(m_log, QStringList{"交接未完成，已忽略：1 个路径"});
    }

    void staleSocketIsTakenOver()
    {
        const QString dir = folder("stale");
        QVERIFY(QDir().mkpath(dir));
        QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0700), 0);
        QVERIFY(leaveStaleSocket(dir + "/socket"));

        InstanceChannel channel(dir, logger());
        QCOMPARE(channel.claim({"/a"}), InstanceChannel::Role::Serving);
        QCOMPARE(m_log, QStringList{"上一个窗口已不在，由本窗口接替：" + dir + "/socket"});
        // Later starts reach the new window.
        QSignalSpy handedOver(&channel, &InstanceChannel::handedOver);
        QCOMPARE(runProbe({"claim", dir, "/b"}).lines.last(), QStringLiteral("handed over"));
        QTRY_COMPARE(handedOver.size(), 1);
    }

    // A window busy on this very thread cannot answer: the later start
    // takes over, and the hung window, once it runs again, neither handles
    // the paths a second time nor removes the socket of its successor.
    void windowThatDoesNotAnswerIsTakenOver()
    {
        const QString dir = folder("hung");
        auto *hung = new InstanceChannel(dir, logger());
        QCOMPARE(hung->claim({}), InstanceChannel::Role::Serving);
        QSignalSpy reachedHung(hung, &InstanceChannel::handedOver);

        InstanceChannel successor(dir, logger());
        QCOMPARE(successor.claim({"/paths/of/the/successor"}), InstanceChannel::Role::Serving);
        QCOMPARE(m_log, QStringList{"正在运行的窗口没有应答，由本窗口接替：" + dir + "/socket"});

        // Running again, the hung window meets the unfinished hand-over.
        QTRY_COMPARE(m_log.size(), 2);
        QCOMPARE(m_log.at(1), QStringLiteral("交接未完成，已忽略：1 个路径"));
        QCOMPARE(reachedHung.size(), 0);

        delete hung;
        QVERIFY(privatefolder::isOwnSocket(successor.socketPath()));
        QSignalSpy reachedSuccessor(&successor, &InstanceChannel::handedOver);
        QCOMPARE(runProbe({"claim", dir, "/c"}).lines.last(), QStringLiteral("handed over"));
        QTRY_COMPARE(reachedSuccessor.size(), 1);
    }

    // A window asked to close closes, and the one who asked waits for its
    // program to end; with none running, there is nothing to wait for.
    void aWindowAskedToCloseIsWaitedFor()
    {
        InstanceChannel asking(folder("closing"), logger());
        QCOMPARE(asking.askToClose(60000), InstanceChannel::Closing::NoWindow);

        QProcess window;
        window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window.start(QStringLiteral(CHANNEL_PROBE), {"serve", folder("closing")});
        QVERIFY(window.waitForReadyRead(60000));
        QCOMPARE(QString::fromUtf8(window.readLine()).trimmed(), QStringLiteral("serving"));
        QCOMPARE(asking.askToClose(60000), InstanceChannel::Closing::Closed);
        QVERIFY(window.waitForFinished(60000));
        QCOMPARE(window.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(window.readAll()).trimmed(), QStringLiteral("close requested"));
        QVERIFY(!QFileInfo::exists(folder("closing") + "/socket"));
        QCOMPARE(asking.askToClose(60000), InstanceChannel::Closing::NoWindow);
    }

    // A window that takes the request but does not end in time, and one
    // that does not answer it (busy on this very thread), are not taken for
    // closed.
    void aWindowThatStaysIsNotTakenForClosed()
    {
        InstanceChannel window(folder("staying"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QSignalSpy asked(&window, &InstanceChannel::closeRequested);
        QCOMPARE(runProbe({"close", folder("staying"), "200"}).lines, QStringList{"still open"});
        QTRY_COMPARE(asked.size(), 1);

        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(CHANNEL_PROBE), {"close", folder("staying"), "60000"});
        QVERIFY(probe.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), QStringLiteral("not answered"));
        QCOMPARE(asked.size(), 1);
        QTRY_COMPARE(m_log, QStringList{"关闭请求未确认，已忽略"});
    }

    // Even with the way to the socket opened, another user's hand-over is
    // refused: the kernel says who connected.
    void anotherUserCannotHandOver()
    {
        if (m_asNobody.isEmpty())
            QSKIP("needs root and setpriv to act as another user");
        const QString dir = folder("opened");
        InstanceChannel window(dir, logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);
        QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0711), 0);
        QCOMPARE(::chmod(QFile::encodeName(window.socketPath()).constData(), 0777), 0);

        const ProbeResult intruder = runProbe({"send", window.socketPath(), "/etc/shadow"}, m_asNobody);
        QCOMPARE(intruder.exitCode, 0);
        QCOMPARE(intruder.lines, QStringList{"answer \"\""});
        QCOMPARE(m_log, QStringList{"拒绝了另一个用户的连接（uid 65534）"});
        QCOMPARE(handedOver.size(), 0);

        // The same bytes from this user are taken: the refusal was the user.
        QCOMPARE(runProbe({"send", window.socketPath(), "/etc/hosts"}).lines, QStringList{"answer \"OK\""});
    }

    // Another user's start finds this user's channel and does not use it.
    void anotherUsersChannelIsNotUsed()
    {
        if (m_asNobody.isEmpty())
            QSKIP("needs root and setpriv to act as another user");
        const QString dir = folder("mine");
        InstanceChannel window(dir, logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);

        const ProbeResult other = runProbe({"claim", dir, "/home/other/file"}, m_asNobody);
        QCOMPARE(other.exitCode, 0);
        QCOMPARE(other.lines, QStringList({"log 不使用单窗口通道：" + dir + "（属于另一个用户（uid 0））", "alone"}));
        QCOMPARE(handedOver.size(), 0);
        QCOMPARE(m_log, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestInstanceChannel)
#include "tst_instancechannel.moc"
