// The one-window channel on Windows: a named pipe that only this user may
// open (QLocalServer::UserAccessOption: the user owns it and is the only
// account in its access list).
//
// Pipe names are one namespace for every user of the machine, and a pipe
// cannot be removed by anyone but the process that serves it: a window that
// hangs keeps its pipe. So each window serves a pipe of its own,
// "<place>-<process id>-<n>", and says which under the user's registry key
// (volatile: gone at log-off), where only the user can write. A start that
// takes over announces its own pipe; the hung window's is no longer used.
#include "InstanceChannel.h"

#include "CurrentUser_win.h"
#include "HandOverProtocol.h"
#include "PipeAccess_win.h"

#include <QAtomicInt>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sddl.h>
#include <windows.h>

#include <memory>
#include <vector>

namespace {

// How long a window that is still starting (its event loop not yet turning)
// is waited for: Explorer starts the program once per selected file, all at
// once, and the first of them is still building its window.
constexpr DWORD kStartupWaitMs = 10000;

const wchar_t kAnnouncementKey[] = L"Software\\Keystrel\\Channel";
// Two starts at once take turns; one stuck while holding the turn is not
// waited for longer than this.
constexpr DWORD kSetupLockWaitMs = 3 * InstanceChannel::kAnswerTimeoutMs;

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

QString systemError(DWORD code = ::GetLastError())
{
    return qt_error_string(int(code));
}

// Why the pipe behind `pipe` is not this user's alone: another owner, or an
// access list that lets another account in. Empty when it is.
QString whyNotPrivate(qintptr pipe)
{
    std::vector<BYTE> user = currentUserSid();
    return pipeaccess::whyNotUsersAlone(reinterpret_cast<HANDLE>(pipe), user.empty() ? nullptr : user.data());
}

// Which pipe the window of `place` serves, as it announced it.
QString announcedPipe(const QString &place)
{
    wchar_t buffer[512];
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, kAnnouncementKey, wide(place).c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size)
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
    const std::wstring value = wide(pipe);
    const LONG status =
        ::RegSetValueExW(key, wide(place).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                         DWORD((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void withdraw(const QString &place)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kAnnouncementKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(key, wide(place).c_str());
    ::RegCloseKey(key);
}

std::wstring readyEventName(const QString &pipe)
{
    return wide(QStringLiteral("Local\\") + pipe + QStringLiteral("-ready"));
}

// Serialises the claim of two starts at once, so that one does not take the
// other's pipe for stale while it is being set up. Local\: one per session.
class SetupLock
{
public:
    explicit SetupLock(const QString &place)
    {
        m_mutex =
            ::CreateMutexW(nullptr, FALSE, wide(QStringLiteral("Local\\") + place + QStringLiteral("-setup")).c_str());
        if (!m_mutex)
            return; // go on without, as when a stuck start holds it
        const DWORD waited = ::WaitForSingleObject(m_mutex, kSetupLockWaitMs);
        m_owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~SetupLock()
    {
        if (m_owned)
            ::ReleaseMutex(m_mutex);
        if (m_mutex)
            ::CloseHandle(m_mutex);
    }
    SetupLock(const SetupLock &) = delete;
    SetupLock &operator=(const SetupLock &) = delete;

private:
    HANDLE m_mutex = nullptr;
    bool m_owned = false;
};

} // namespace

struct InstanceChannel::System
{
    QLocalServer *server = nullptr;
    QString pipeName;
    // Set once the event loop turns: later starts wait for it.
    void *readyEvent = nullptr;
    // This window's integrity level: a program below it is not served.
    long ownIntegrity = -1;
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
    std::vector<BYTE> user = currentUserSid();
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return QStringLiteral("keystrel-%1-%2")
        .arg(user.empty() ? QStringLiteral("unknown") : pipeaccess::sidText(user.data()))
        .arg(session);
}

QString InstanceChannel::socketPath() const
{
    return m_system->pipeName;
}

InstanceChannel::Role InstanceChannel::claim(const QStringList &paths, PathDirection direction)
{
    SetupLock turn(m_place);
    if (handOver(paths, direction))
        return Role::HandedOver;
    return listen() ? Role::Serving : Role::Alone;
}

namespace {

// A window still building itself answers once its event loop turns.
void waitUntilStarted(const QString &pipe, const LogFn &log)
{
    HANDLE ready = ::OpenEventW(SYNCHRONIZE, FALSE, readyEventName(pipe).c_str());
    if (!ready)
        return;
    if (::WaitForSingleObject(ready, 0) == WAIT_TIMEOUT) {
        log(QStringLiteral("正在运行的窗口还在启动，等待：") + pipe);
        ::WaitForSingleObject(ready, kStartupWaitMs);
    }
    ::CloseHandle(ready);
}

enum class Reached { Yes, Gone, NotPrivate };

// Connects `socket` to the window's pipe, provided the pipe is this user's
// alone; logs why not.
Reached reachWindow(QLocalSocket &socket, const QString &pipe, const LogFn &log)
{
    socket.connectToServer(pipe);
    if (!socket.waitForConnected(InstanceChannel::kAnswerTimeoutMs)) {
        log(QStringLiteral("上一个窗口已不在，由本窗口接替：") + pipe);
        return Reached::Gone;
    }
    const QString notPrivate = whyNotPrivate(socket.socketDescriptor());
    if (!notPrivate.isEmpty()) {
        log(QStringLiteral("单窗口通道不是本用户独有的，已替换：") + pipe + QStringLiteral("（") + notPrivate
            + QStringLiteral("）"));
        return Reached::NotPrivate;
    }
    return Reached::Yes;
}

} // namespace

bool InstanceChannel::handOver(const QStringList &paths, PathDirection direction)
{
    const QString pipe = announcedPipe(m_place);
    if (pipe.isEmpty())
        return false; // no window runs
    waitUntilStarted(pipe, m_log);
    QLocalSocket socket;
    if (reachWindow(socket, pipe, m_log) != Reached::Yes)
        return false;
    if (!handoverprotocol::send(socket, paths, direction, kAnswerTimeoutMs)) {
        m_log(QStringLiteral("正在运行的窗口没有应答，由本窗口接替：") + pipe);
        return false;
    }
    m_log(QStringLiteral("已交给正在运行的窗口：%1 个路径").arg(paths.size()));
    return true;
}

InstanceChannel::Closing InstanceChannel::askToClose(int waitMs)
{
    HANDLE process = nullptr;
    {
        SetupLock turn(m_place);
        const QString pipe = announcedPipe(m_place);
        if (pipe.isEmpty())
            return Closing::NoWindow;
        waitUntilStarted(pipe, m_log);
        QLocalSocket socket;
        switch (reachWindow(socket, pipe, m_log)) {
        case Reached::Gone:
            return Closing::NoWindow;
        case Reached::NotPrivate:
            return Closing::NotAnswered;
        case Reached::Yes:
            break;
        }
        // Held from before the request, so that the program waited for is
        // the one asked, whatever number its end frees.
        ULONG server = 0;
        if (::GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(socket.socketDescriptor()), &server))
            process = ::OpenProcess(SYNCHRONIZE, FALSE, server);
        if (!process) {
            m_log(QStringLiteral("无法等待正在运行的窗口：") + pipe + QStringLiteral("（") + systemError()
                  + QStringLiteral("）"));
            return Closing::NotAnswered;
        }
        if (!handoverprotocol::sendCloseRequest(socket, kAnswerTimeoutMs)) {
            ::CloseHandle(process);
            return Closing::NotAnswered;
        }
    }
    const bool ended = ::WaitForSingleObject(process, DWORD(waitMs)) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended ? Closing::Closed : Closing::StillOpen;
}

bool InstanceChannel::listen()
{
    // Of this process, and of this channel in it.
    static QAtomicInt channels;
    const QString pipe =
        m_place + QStringLiteral("-%1-%2").arg(::GetCurrentProcessId()).arg(channels.fetchAndAddRelaxed(1));
    auto server = std::make_unique<QLocalServer>(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(pipe)) {
        m_log(QStringLiteral("无法建立单窗口通道：") + pipe + QStringLiteral("（") + server->errorString()
              + QStringLiteral("）"));
        return false;
    }
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, readyEventName(pipe).c_str());
    if (!ready || !announce(m_place, pipe)) {
        m_log(QStringLiteral("无法建立单窗口通道：") + pipe + QStringLiteral("（") + systemError()
              + QStringLiteral("）"));
        if (ready)
            ::CloseHandle(ready);
        return false;
    }
    m_system->server = server.release();
    m_system->pipeName = pipe;
    m_system->ownIntegrity = pipeaccess::integrityOfProcess(::GetCurrentProcess());
    m_system->readyEvent = ready;
    connect(m_system->server, &QLocalServer::newConnection, this, &InstanceChannel::acceptPending);
    // The first turn of the event loop: from then on hand-overs are answered.
    QTimer::singleShot(0, this, [ready] { ::SetEvent(ready); });
    return true;
}

void InstanceChannel::acceptPending()
{
    while (QLocalSocket *peer = m_system->server->nextPendingConnection()) {
        // Someone else may have made a pipe of this name first: then it is
        // theirs, and what comes through it is not this user's.
        const QString notPrivate = whyNotPrivate(peer->socketDescriptor());
        if (!notPrivate.isEmpty()) {
            m_log(QStringLiteral("单窗口通道不是本用户独有的，拒绝连接：") + m_system->pipeName + QStringLiteral("（")
                  + notPrivate + QStringLiteral("）"));
            peer->abort();
            peer->deleteLater();
            continue;
        }
        // A program of the same user but of a lower integrity level (not
        // elevated, where this window is) could otherwise have an elevated
        // window rewrite what it may not touch itself: Windows keeps its
        // messages and drops from such a window (UIPI), and so does this.
        const long client = pipeaccess::integrityOfClient(reinterpret_cast<HANDLE>(peer->socketDescriptor()));
        if (client < m_system->ownIntegrity) {
            m_log(QStringLiteral("拒绝了权限级别较低的程序的连接：") + m_system->pipeName
                  + QStringLiteral("（%1 < %2）").arg(client, 0, 16).arg(m_system->ownIntegrity, 0, 16));
            peer->abort();
            peer->deleteLater();
            continue;
        }
        serve(peer);
    }
}

void InstanceChannel::stopServing()
{
    if (!m_system->server)
        return;
    delete m_system->server;
    m_system->server = nullptr;
    if (announcedPipe(m_place) == m_system->pipeName)
        withdraw(m_place);
    ::CloseHandle(m_system->readyEvent);
    m_system->readyEvent = nullptr;
}
