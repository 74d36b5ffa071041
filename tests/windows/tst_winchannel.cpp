// The one-window channel on Windows, under Wine: a hand-over from another
// process with its direction, the pipe's security descriptor as created, a
// vanished, a hung and a still starting window, a pipe that is not this
// user's alone, whatever kind of entry lets others in, and a window asked to
// close (as an installer asks it) whose end is waited for. Wine runs every program as one user: another user's start
// cannot be tried here (tests/not-run-on-windows.txt says so).
#include "InstanceChannel.h"
#include "PipeAccess_win.h"
#include "TestUser.h"

#include <QDir>
#include <QEventLoop>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <vector>

namespace {

const wchar_t kAnnouncementKey[] = L"Software\\Keystrel\\Channel";

struct ProbeResult
{
    int exitCode = -1;
    QStringList lines;
};

// Runs the probe to its end while this process serves (the loop runs).
ProbeResult finish(QProcess &probe)
{
    QEventLoop loop;
    QObject::connect(&probe, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit); // only against a hung probe
    if (probe.state() != QProcess::NotRunning)
        loop.exec();
    ProbeResult result;
    if (probe.state() != QProcess::NotRunning) {
        probe.kill();
        probe.waitForFinished();
        return result;
    }
    result.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    result.lines = QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (QString &line : result.lines)
        line = line.trimmed();
    return result;
}

ProbeResult runProbe(const QStringList &arguments)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QStringLiteral(CHANNEL_PROBE), arguments);
    return finish(probe);
}

QString announced(const QString &place)
{
    wchar_t buffer[512];
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, kAnnouncementKey, reinterpret_cast<const wchar_t *>(place.utf16()),
                       RRF_RT_REG_SZ, nullptr, buffer, &size)
        != ERROR_SUCCESS)
        return QString();
    return QString::fromWCharArray(buffer);
}

bool announce(const QString &place, const QString &pipe)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kAnnouncementKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                          &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const bool set = ::RegSetValueExW(key, reinterpret_cast<const wchar_t *>(place.utf16()), 0, REG_SZ,
                                      reinterpret_cast<const BYTE *>(pipe.utf16()), DWORD((pipe.size() + 1) * 2))
                     == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return set;
}

// A pipe of that name made by someone else first, open to everyone; its one
// instance waits for a client.
HANDLE squat(const QString &pipe)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const QString sddl = QStringLiteral("O:%1D:(A;;GA;;;WD)(A;;GA;;;%1)").arg(testUserSid());
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(reinterpret_cast<const wchar_t *>(sddl.utf16()),
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const QString name = QStringLiteral("\\\\.\\pipe\\") + pipe;
    HANDLE handle =
        ::CreateNamedPipeW(reinterpret_cast<const wchar_t *>(name.utf16()), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                           PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 0, 0, 3000, &attributes);
    ::LocalFree(descriptor);
    return handle;
}

std::vector<BYTE> sidBytes(const QString &text)
{
    PSID sid = nullptr;
    std::vector<BYTE> bytes;
    if (::ConvertStringSidToSidW(reinterpret_cast<const wchar_t *>(text.utf16()), &sid)) {
        bytes.assign(static_cast<BYTE *>(sid), static_cast<BYTE *>(sid) + ::GetLengthSid(sid));
        ::LocalFree(sid);
    }
    return bytes;
}

struct Entry
{
    BYTE type;
    QString sid;
};

// An access list of these entries, each with full access, written out as
// the system keeps them: an object entry names no object type, a callback
// entry has no condition.
std::vector<BYTE> accessList(const std::vector<Entry> &entries)
{
    std::vector<BYTE> list(2048);
    auto *acl = reinterpret_cast<PACL>(list.data());
    ::InitializeAcl(acl, DWORD(list.size()), ACL_REVISION_DS);
    for (const Entry &entry : entries) {
        const std::vector<BYTE> sid = sidBytes(entry.sid);
        const bool object = entry.type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || entry.type == ACCESS_DENIED_OBJECT_ACE_TYPE;
        std::vector<BYTE> ace(sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + (object ? sizeof(DWORD) : 0));
        auto *header = reinterpret_cast<ACE_HEADER *>(ace.data());
        header->AceType = entry.type;
        *reinterpret_cast<ACCESS_MASK *>(ace.data() + sizeof(ACE_HEADER)) = FILE_ALL_ACCESS;
        ace.insert(ace.end(), sid.begin(), sid.end());
        header = reinterpret_cast<ACE_HEADER *>(ace.data());
        header->AceSize = WORD(ace.size());
        if (!::AddAce(acl, ACL_REVISION_DS, MAXDWORD, ace.data(), DWORD(ace.size())))
            return {};
    }
    return list;
}

// A pipe of that name made first by someone whose access list is `list`.
HANDLE squatWith(const QString &pipe, std::vector<BYTE> &list)
{
    SECURITY_DESCRIPTOR descriptor;
    std::vector<BYTE> owner = sidBytes(testUserSid());
    if (list.empty() || !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !::SetSecurityDescriptorOwner(&descriptor, owner.data(), FALSE)
        || !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(list.data()), FALSE))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const QString name = QStringLiteral("\\\\.\\pipe\\") + pipe;
    return ::CreateNamedPipeW(reinterpret_cast<const wchar_t *>(name.utf16()),
                              PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT,
                              PIPE_UNLIMITED_INSTANCES, 0, 0, 3000, &attributes);
}

} // namespace

class TestWinChannel : public QObject
{
    Q_OBJECT

    QStringList m_log;

    LogFn logger()
    {
        return [this](const QString &line) { m_log << line; };
    }
    // Each test meets at a place of its own, apart from any other run's.
    static QString place(const QString &name)
    {
        return QStringLiteral("keystrel-test-%1-%2").arg(::GetCurrentProcessId()).arg(name);
    }
    // The first turn of the loop: the window answers from then on.
    static void turnLoop() { QCoreApplication::processEvents(); }

private slots:
    void init() { m_log.clear(); }

    void handsOverPathsAndDirection()
    {
        InstanceChannel window(place("handover"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QCOMPARE(announced(place("handover")), window.socketPath());
        turnLoop();
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);

        const QStringList paths{"C:/第一个 文件.txt", "C:/folder", "C:/\U0001F600"};
        ProbeResult later = runProbe(QStringList{"decrypt", place("handover")} + paths);
        QCOMPARE(later.exitCode, 0);
        QCOMPARE(later.lines, QStringList({"log 已交给正在运行的窗口：3 个路径", "handed over"}));
        QTRY_COMPARE(handedOver.size(), 1);
        QCOMPARE(handedOver.at(0).at(0).toStringList(), paths);
        QCOMPARE(handedOver.at(0).at(1).value<PathDirection>(), PathDirection::Decrypt);

        later = runProbe({"claim", place("handover")});
        QCOMPARE(later.lines.value(0), QStringLiteral("log 已交给正在运行的窗口：0 个路径"));
        QTRY_COMPARE(handedOver.size(), 2);
        QCOMPARE(handedOver.at(1).at(1).value<PathDirection>(), PathDirection::AsDropped);
        QCOMPARE(m_log, QStringList());
    }

    // Only this user: the owner, and the one entry of the access list.
    void pipeIsTheUsersAlone()
    {
        QVERIFY(InstanceChannel::defaultPlace().startsWith(QStringLiteral("keystrel-") + testUserSid() + "-"));
        InstanceChannel window(place("descriptor"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QLocalSocket socket;
        socket.connectToServer(window.socketPath());
        QVERIFY(socket.waitForConnected(5000));

        PSID owner = nullptr;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        QCOMPARE(::GetSecurityInfo(reinterpret_cast<HANDLE>(socket.socketDescriptor()), SE_KERNEL_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl,
                                   nullptr, &descriptor),
                 DWORD(ERROR_SUCCESS));
        LPWSTR text = nullptr;
        QVERIFY(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
        const QString sddl = QString::fromWCharArray(text);
        ::LocalFree(text);
        ::LocalFree(descriptor);
        // Owner the user; allowed: the user, full access; nobody else, no World.
        QCOMPARE(sddl, QStringLiteral("O:%1D:(A;;FA;;;%1)").arg(testUserSid()));
    }

    void vanishedWindowIsTakenOver()
    {
        const QString gone = place("stale") + "-999999";
        QVERIFY(announce(place("stale"), gone));
        InstanceChannel window(place("stale"), logger());
        QCOMPARE(window.claim({"C:/a"}), InstanceChannel::Role::Serving);
        QCOMPARE(m_log, QStringList{"上一个窗口已不在，由本窗口接替：" + gone});
        QCOMPARE(announced(place("stale")), window.socketPath());
        turnLoop();
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);
        QCOMPARE(runProbe({"claim", place("stale"), "C:/b"}).lines.value(1), QStringLiteral("handed over"));
        QTRY_COMPARE(handedOver.size(), 1);
    }

    // A window busy on this very thread cannot answer: the later start takes
    // over, and the hung window, once it runs again, neither gets the paths
    // (a pipe takes no bytes its reader does not read: the write was
    // cancelled) nor withdraws its successor's pipe.
    void hungWindowIsTakenOver()
    {
        auto *hung = new InstanceChannel(place("hung"), logger());
        QCOMPARE(hung->claim({}), InstanceChannel::Role::Serving);
        turnLoop();
        QSignalSpy reachedHung(hung, &InstanceChannel::handedOver);

        InstanceChannel successor(place("hung"), logger());
        QCOMPARE(successor.claim({"C:/successor"}), InstanceChannel::Role::Serving);
        const QStringList tookOver{"正在运行的窗口没有应答，由本窗口接替：" + hung->socketPath()};
        QCOMPARE(m_log, tookOver);
        QCOMPARE(announced(place("hung")), successor.socketPath());

        // The loop runs while later starts hand over to the successor.
        QSignalSpy reachedSuccessor(&successor, &InstanceChannel::handedOver);
        QCOMPARE(runProbe({"claim", place("hung"), "C:/c"}).lines.value(1), QStringLiteral("handed over"));
        QTRY_COMPARE(reachedSuccessor.size(), 1);
        delete hung;
        QCOMPARE(reachedHung.size(), 0);
        QCOMPARE(m_log, tookOver);
        QCOMPARE(announced(place("hung")), successor.socketPath());
        QCOMPARE(runProbe({"claim", place("hung"), "C:/d"}).lines.value(1), QStringLiteral("handed over"));
        QTRY_COMPARE(reachedSuccessor.size(), 2);
    }

    // Explorer starts all at once: the first is still building its window
    // (its loop not turning yet) when the others hand over. They wait for
    // it instead of taking it for hung.
    void startingWindowIsWaitedFor()
    {
        InstanceChannel window(place("starting"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(CHANNEL_PROBE), {"encrypt", place("starting"), "C:/p"});
        // Without turning the loop: whatever the probe says first.
        QVERIFY(probe.waitForReadyRead(60000));
        QCOMPARE(QString::fromUtf8(probe.readLine()).trimmed(),
                 QStringLiteral("log 正在运行的窗口还在启动，等待：") + window.socketPath());

        const ProbeResult later = finish(probe);
        QCOMPARE(later.lines, QStringList({"log 已交给正在运行的窗口：1 个路径", "handed over"}));
        QTRY_COMPARE(handedOver.size(), 1);
        QCOMPARE(handedOver.at(0).at(0).toStringList(), QStringList{"C:/p"});
    }

    // A pipe of the announced name that others may open is not used, and a
    // window whose pipe name someone else made first refuses what comes
    // through it.
    void pipeOthersMayOpenIsNotUsed()
    {
        const QString foreign = place("foreign") + "-1";
        const HANDLE squatter = squat(foreign);
        QVERIFY(squatter != INVALID_HANDLE_VALUE);
        QVERIFY(announce(place("foreign"), foreign));
        InstanceChannel window(place("foreign"), logger());
        QCOMPARE(window.claim({"C:/x"}), InstanceChannel::Role::Serving);
        QCOMPARE(m_log, QStringList{"单窗口通道不是本用户独有的，已替换：" + foreign + "（可由 S-1-1-0 打开）"});
        ::CloseHandle(squatter);

        m_log.clear();
        // The name the next channel of this process serves on.
        InstanceChannel probing(place("next"), logger());
        QCOMPARE(probing.claim({}), InstanceChannel::Role::Serving);
        const QStringList parts = probing.socketPath().split('-');
        const QString ours =
            place("squatted") + QStringLiteral("-%1-%2").arg(parts.at(parts.size() - 2)).arg(parts.last().toInt() + 1);
        const HANDLE first = squat(ours);
        QVERIFY(first != INVALID_HANDLE_VALUE);
        // Its own instance taken, later clients reach the window's.
        const QString name = QStringLiteral("\\\\.\\pipe\\") + ours;
        const HANDLE occupant = ::CreateFileW(reinterpret_cast<const wchar_t *>(name.utf16()),
                                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(occupant != INVALID_HANDLE_VALUE);
        InstanceChannel squatted(place("squatted"), logger());
        QCOMPARE(squatted.claim({}), InstanceChannel::Role::Serving);
        QCOMPARE(squatted.socketPath(), ours);
        turnLoop();
        QSignalSpy handedOver(&squatted, &InstanceChannel::handedOver);
        QCOMPARE(runProbe({"send", ours, "C:/y"}).lines, QStringList{"answer \"\""});
        QCOMPARE(m_log, QStringList{"单窗口通道不是本用户独有的，拒绝连接：" + ours + "（可由 S-1-1-0 打开）"});
        QCOMPARE(handedOver.size(), 0);
        ::CloseHandle(occupant);
        ::CloseHandle(first);
    }

    // A window asked to close closes, and the one who asked waits for its
    // program to end; with none running, there is nothing to wait for.
    void aWindowAskedToCloseIsWaitedFor()
    {
        InstanceChannel asking(place("closing"), logger());
        QCOMPARE(asking.askToClose(60000), InstanceChannel::Closing::NoWindow);

        QProcess window;
        window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window.start(QStringLiteral(CHANNEL_PROBE), {"serve", place("closing")});
        QVERIFY(window.waitForReadyRead(60000));
        QCOMPARE(QString::fromUtf8(window.readLine()).trimmed(), QStringLiteral("serving"));
        QCOMPARE(asking.askToClose(60000), InstanceChannel::Closing::Closed);
        // Ended already: what the asking start waited for.
        QVERIFY(window.waitForFinished(0) || window.state() == QProcess::NotRunning);
        QCOMPARE(window.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(window.readAll()).trimmed(), QStringLiteral("close requested"));
        // Its channel withdrawn as it ended.
        QCOMPARE(announced(place("closing")), QString());
        QCOMPARE(asking.askToClose(60000), InstanceChannel::Closing::NoWindow);
    }

    // A window that takes the request but does not end in time, and one
    // that does not answer it (busy on this very thread), are not taken for
    // closed.
    void aWindowThatStaysIsNotTakenForClosed()
    {
        InstanceChannel window(place("staying"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        turnLoop();
        QSignalSpy asked(&window, &InstanceChannel::closeRequested);
        QCOMPARE(runProbe({"close", place("staying"), "200"}).lines, QStringList{"still open"});
        QTRY_COMPARE(asked.size(), 1);

        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(CHANNEL_PROBE), {"close", place("staying"), "60000"});
        QVERIFY(probe.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), QStringLiteral("not answered"));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(m_log, QStringList());
    }

    // A start of the same user at a lower integrity level (not elevated,
    // where the window is) is not served: it could have the window rewrite
    // what it may not touch itself. Wine keeps every token at one level.
    void aStartOfLowerIntegrityIsNotServed()
    {
        HANDLE own = nullptr;
        QVERIFY(::OpenProcessToken(::GetCurrentProcess(),
                                   TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ADJUST_DEFAULT | TOKEN_ASSIGN_PRIMARY, &own));
        HANDLE lower = nullptr;
        QVERIFY(::DuplicateTokenEx(own, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &lower));
        ::CloseHandle(own);
        std::vector<BYTE> low = sidBytes("S-1-16-4096");
        TOKEN_MANDATORY_LABEL label{};
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        label.Label.Sid = low.data();
        ::SetTokenInformation(lower, TokenIntegrityLevel, &label, DWORD(sizeof label + low.size()));
        BYTE buffer[256];
        DWORD size = sizeof buffer;
        QVERIFY(::GetTokenInformation(lower, TokenIntegrityLevel, buffer, size, &size));
        const PSID set = reinterpret_cast<TOKEN_MANDATORY_LABEL *>(buffer)->Label.Sid;
        if (*::GetSidSubAuthority(set, *::GetSidSubAuthorityCount(set) - 1) != SECURITY_MANDATORY_LOW_RID) {
            ::CloseHandle(lower);
            QSKIP("this system keeps a token's integrity level as it is (Wine)");
        }

        InstanceChannel window(place("integrity"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        turnLoop();
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);
        std::wstring command = QStringLiteral("\"%1\" claim %2 C:/low")
                                   .arg(QDir::toNativeSeparators(CHANNEL_PROBE), place("integrity"))
                                   .toStdWString();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        QVERIFY(::CreateProcessAsUserW(lower, nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                       &startup, &started));
        ::CloseHandle(lower);
        QTRY_VERIFY_WITH_TIMEOUT(::WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0, 120000);
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
        QCOMPARE(handedOver.size(), 0);
        QVERIFY2(!m_log.filter(QStringLiteral("拒绝了权限级别较低的程序的连接：") + window.socketPath()).isEmpty(),
                 qPrintable(m_log.join('\n')));
    }

    // An elevated administrator's token gives new objects to Administrators
    // by default, not to the user; Wine's gives them to another group
    // (S-1-5-21-0-0-0-513). The pipe is still the user's, since Qt names the
    // user as its owner itself (pipeIsTheUsersAlone): the window takes its
    // own pipe and later starts hand over to it.
    void pipeIsTheUsersWhereNewObjectsGoToAnotherOwner()
    {
        HANDLE token = nullptr;
        QVERIFY(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
        BYTE buffer[512];
        DWORD size = sizeof buffer;
        LPWSTR text = nullptr;
        QVERIFY(::GetTokenInformation(token, TokenOwner, buffer, size, &size));
        ::CloseHandle(token);
        QVERIFY(::ConvertSidToStringSidW(reinterpret_cast<TOKEN_OWNER *>(buffer)->Owner, &text));
        const QString defaultOwner = QString::fromWCharArray(text);
        ::LocalFree(text);
        if (defaultOwner == testUserSid())
            QSKIP("new objects of this process are the user's own by default");

        InstanceChannel window(place("owner"), logger());
        QCOMPARE(window.claim({}), InstanceChannel::Role::Serving);
        turnLoop();
        QSignalSpy handedOver(&window, &InstanceChannel::handedOver);
        QCOMPARE(runProbe({"claim", place("owner"), "C:/o"}).lines.value(1), QStringLiteral("handed over"));
        QTRY_COMPARE(handedOver.size(), 1);
        QCOMPARE(m_log, QStringList());
    }

    // Any entry that lets another account in counts, not only the plain
    // kind: a callback entry lets its account in as well, and an entry of a
    // kind that cannot be judged counts against the pipe.
    void entriesOfEveryKindAreJudged()
    {
        const QString user = testUserSid();
        std::vector<BYTE> owner = sidBytes(user), administrators = sidBytes("S-1-5-32-544");
        const auto judged = [&](const std::vector<Entry> &entries, std::vector<BYTE> &by) {
            const std::vector<BYTE> list = accessList(entries);
            return list.empty() ? QStringLiteral("<no list>")
                                : pipeaccess::whyNotUsersAlone(by.data(), reinterpret_cast<const ACL *>(list.data()),
                                                               owner.data());
        };
        QCOMPARE(judged({{ACCESS_ALLOWED_ACE_TYPE, user}}, owner), QString());
        QCOMPARE(judged({{ACCESS_DENIED_ACE_TYPE, "S-1-1-0"}, {ACCESS_ALLOWED_ACE_TYPE, user}}, owner), QString());
        QCOMPARE(judged({{ACCESS_ALLOWED_ACE_TYPE, user}, {ACCESS_ALLOWED_CALLBACK_ACE_TYPE, user}}, owner), QString());
        QCOMPARE(judged({{ACCESS_ALLOWED_ACE_TYPE, user}, {ACCESS_ALLOWED_CALLBACK_ACE_TYPE, "S-1-1-0"}}, owner),
                 QStringLiteral("可由 S-1-1-0 打开"));
        QCOMPARE(judged({{ACCESS_ALLOWED_ACE_TYPE, user}, {ACCESS_ALLOWED_OBJECT_ACE_TYPE, "S-1-1-0"}}, owner),
                 QStringLiteral("访问控制列表中有无法判断的项（类型 5）"));
        QCOMPARE(judged({{ACCESS_ALLOWED_ACE_TYPE, user}}, administrators), QStringLiteral("属于 S-1-5-32-544"));
        QCOMPARE(pipeaccess::whyNotUsersAlone(owner.data(), nullptr, owner.data()),
                 QStringLiteral("没有访问控制列表，所有用户都可打开"));
    }

    // The same on a real pipe, as a later start meets it.
    void pipeLettingOthersInByACallbackEntryIsNotUsed()
    {
        const QString user = testUserSid();
        const QString foreign = place("callback") + "-1";
        std::vector<BYTE> list =
            accessList({{ACCESS_ALLOWED_ACE_TYPE, user}, {ACCESS_ALLOWED_CALLBACK_ACE_TYPE, "S-1-1-0"}});
        const HANDLE squatter = squatWith(foreign, list);
        if (squatter == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_SECURITY_DESCR)
            QSKIP("this system keeps no callback entry on a pipe (Wine's server refuses the descriptor)");
        QVERIFY2(squatter != INVALID_HANDLE_VALUE, qPrintable(qt_error_string(int(::GetLastError()))));
        QVERIFY(announce(place("callback"), foreign));
        InstanceChannel window(place("callback"), logger());
        QCOMPARE(window.claim({"C:/x"}), InstanceChannel::Role::Serving);
        QCOMPARE(m_log, QStringList{"单窗口通道不是本用户独有的，已替换：" + foreign + "（可由 S-1-1-0 打开）"});
        ::CloseHandle(squatter);
    }
};

QTEST_GUILESS_MAIN(TestWinChannel)
#include "tst_winchannel.moc"
