#include "PipeAccess_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>

namespace pipeaccess {

namespace {

bool denies(BYTE type)
{
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE
           || type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// The account an entry lets in, where its kind keeps it where a plain
// allowing entry does (a callback entry's condition only narrows it).
PSID allowedSid(void *entry)
{
    const BYTE type = static_cast<ACE_HEADER *>(entry)->AceType;
    if (type == ACCESS_ALLOWED_ACE_TYPE)
        return &static_cast<ACCESS_ALLOWED_ACE *>(entry)->SidStart;
    if (type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
        return &static_cast<ACCESS_ALLOWED_CALLBACK_ACE *>(entry)->SidStart;
    return nullptr;
}

} // namespace

QString sidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text))
        return QStringLiteral("?");
    const QString result = QString::fromWCharArray(text);
    ::LocalFree(text);
    return result;
}

QString whyNotUsersAlone(PSID owner, const ACL *dacl, PSID user)
{
    if (!user || !owner || !::IsValidSid(owner) || !::EqualSid(owner, user))
        return QStringLiteral("属于 ") + sidText(owner);
    if (!dacl)
        return QStringLiteral("没有访问控制列表，所有用户都可打开");
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        if (!::GetAce(const_cast<ACL *>(dacl), i, &entry))
            return QStringLiteral("访问控制列表无法读取");
        const BYTE type = static_cast<ACE_HEADER *>(entry)->AceType;
        if (denies(type))
            continue; // a denial lets nobody in
        const PSID sid = allowedSid(entry);
        if (!sid)
            return QStringLiteral("访问控制列表中有无法判断的项（类型 %1）").arg(type);
        if (!::IsValidSid(sid) || !::EqualSid(sid, user))
            return QStringLiteral("可由 ") + sidText(sid) + QStringLiteral(" 打开");
    }
    return QString();
}

QString whyNotUsersAlone(HANDLE handle, PSID user)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status =
        ::GetSecurityInfo(handle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS)
        return QStringLiteral("无法读取访问权限：") + qt_error_string(int(status));
    std::unique_ptr<void, decltype(&::LocalFree)> release(descriptor, &::LocalFree);
    return whyNotUsersAlone(owner, dacl, user);
}

long integrityOfProcess(HANDLE process)
{
    HANDLE token = nullptr;
    if (!process || !::OpenProcessToken(process, TOKEN_QUERY, &token))
        return -1;
    BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_MANDATORY_LABEL)];
    DWORD size = sizeof buffer;
    long level = -1;
    if (::GetTokenInformation(token, TokenIntegrityLevel, buffer, size, &size)) {
        const PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL *>(buffer)->Label.Sid;
        const UCHAR count = *::GetSidSubAuthorityCount(label);
        if (count > 0)
            level = long(*::GetSidSubAuthority(label, count - 1));
    }
    ::CloseHandle(token);
    return level;
}

long integrityOfClient(HANDLE pipe)
{
    ULONG client = 0;
    if (!::GetNamedPipeClientProcessId(pipe, &client))
        return -1;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, client);
    const long level = integrityOfProcess(process);
    if (process)
        ::CloseHandle(process);
    return level;
}

} // namespace pipeaccess
