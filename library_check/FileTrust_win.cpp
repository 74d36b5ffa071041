#include "FileTrust_win.h"

#include "CurrentUser_win.h"

#include <QDir>
#include <QFileInfo>

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <memory>
#include <vector>

namespace filetrust {
namespace {

// Rights that let an account change what a file holds or which files a
// folder holds (or give itself those rights).
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC
                                     | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

QString lastError()
{
    return qt_error_string(int(::GetLastError()));
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

struct Sid
{
    std::vector<BYTE> bytes;
    PSID get() { return bytes.empty() ? nullptr : bytes.data(); }
};

Sid wellKnown(WELL_KNOWN_SID_TYPE type)
{
    Sid sid;
    DWORD size = SECURITY_MAX_SID_SIZE;
    sid.bytes.resize(size);
    if (!::CreateWellKnownSid(type, nullptr, sid.bytes.data(), &size))
        sid.bytes.clear();
    return sid;
}

Sid currentUser()
{
    return Sid{currentUserSid()};
}

Sid fromText(const wchar_t *text)
{
    Sid sid;
    PSID converted = nullptr;
    if (::ConvertStringSidToSidW(text, &converted)) {
        sid.bytes.assign(static_cast<BYTE *>(converted), static_cast<BYTE *>(converted) + ::GetLengthSid(converted));
        ::LocalFree(converted);
    }
    return sid;
}

// This user, Administrators, SYSTEM, "OWNER RIGHTS" (the owner, who must be
// one of them) and TrustedInstaller, the service that updates Windows: a
// folder made in Program Files inherits its full control.
bool isTrusted(PSID sid)
{
    static Sid trusted[] = {currentUser(), wellKnown(WinBuiltinAdministratorsSid), wellKnown(WinLocalSystemSid),
                            wellKnown(WinCreatorOwnerRightsSid),
                            fromText(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")};
    for (Sid &candidate : trusted) {
        if (candidate.get() && ::EqualSid(candidate.get(), sid))
            return true;
    }
    return false;
}

QString accountName(PSID sid)
{
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        const QString user = QString::fromWCharArray(name);
        return domainSize ? QString::fromWCharArray(domain) + QLatin1Char('\\') + user : user;
    }
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        return QStringLiteral("?");
    const QString result = QString::fromWCharArray(text);
    ::LocalFree(text);
    return result;
}

// The first account besides the trusted ones that the list lets write.
QString whoElseMayWrite(PACL dacl)
{
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        if (!::GetAce(dacl, i, &entry))
            return QStringLiteral("访问控制列表无法读取");
        const auto *header = static_cast<ACE_HEADER *>(entry);
        // Entries only passed on to what the folder will hold do not apply.
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
            continue;
        const auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        const PSID sid = const_cast<DWORD *>(&allowed->SidStart);
        if ((allowed->Mask & kWriteRights) && !isTrusted(sid))
            return QStringLiteral("可由 ") + accountName(sid) + QStringLiteral(" 写入");
    }
    return QString();
}

HANDLE openForLook(const QString &path)
{
    // Backup semantics: folders open too. Reparse points are followed.
    return ::CreateFileW(nativePath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

QString finalPath(HANDLE file)
{
    wchar_t buffer[32768];
    const DWORD length = ::GetFinalPathNameByHandleW(file, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= 32768)
        return QString();
    QString path = QString::fromWCharArray(buffer, int(length));
    if (path.startsWith(QLatin1String("\\\\?\\UNC\\")))
        path = QStringLiteral("\\\\") + path.mid(8);
    else if (path.startsWith(QLatin1String("\\\\?\\")))
        path = path.mid(4);
    return QDir::fromNativeSeparators(path);
}

QString whyUntrustedAt(const QString &path, bool mustBeFolder)
{
    const HANDLE file = openForLook(path);
    if (file == INVALID_HANDLE_VALUE)
        return QStringLiteral("无法读取：") + lastError();
    QString why;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info))
        why = QStringLiteral("无法读取：") + lastError();
    else if (mustBeFolder && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        why = QStringLiteral("不是目录");
    else
        why = whyUntrusted(file);
    ::CloseHandle(file);
    return why;
}

} // namespace

QString whyUntrusted(Qt::HANDLE file)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (status != ERROR_SUCCESS)
        return QStringLiteral("无法读取访问权限：") + qt_error_string(int(status));
    std::unique_ptr<void, decltype(&::LocalFree)> release(descriptor, &::LocalFree);
    return whyUntrustedDescriptor(descriptor);
}

QString whyUntrustedDescriptor(void *descriptor)
{
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    BOOL daclPresent = FALSE;
    PACL dacl = nullptr;
    BOOL daclDefaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted)
        || !::GetSecurityDescriptorDacl(descriptor, &daclPresent, &dacl, &daclDefaulted))
        return QStringLiteral("无法读取访问权限：") + lastError();
    if (!owner || !isTrusted(owner))
        return QStringLiteral("属于其他用户：") + (owner ? accountName(owner) : QStringLiteral("?"));
    if (!daclPresent || !dacl)
        return QStringLiteral("没有访问控制列表，所有用户都可写入");
    return whoElseMayWrite(dacl);
}

QString resolve(const QString &path, QString *target)
{
    const DWORD attributes = ::GetFileAttributesW(nativePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return QStringLiteral("无法读取：") + lastError();
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *target = path;
        return QString();
    }
    const HANDLE file = openForLook(path);
    if (file == INVALID_HANDLE_VALUE)
        return QStringLiteral("链接无法解析：") + lastError();
    const QString resolved = finalPath(file);
    ::CloseHandle(file);
    if (resolved.isEmpty())
        return QStringLiteral("链接无法解析");
    const QString folder = QFileInfo(resolved).path();
    const QString why = whyUntrustedAt(folder, true);
    if (!why.isEmpty())
        return QStringLiteral("链接目标所在目录 ") + QDir::toNativeSeparators(folder) + QStringLiteral("：") + why;
    *target = resolved;
    return QString();
}

QString whyUntrustedFolder(const QString &folder)
{
    QString target;
    const QString why = resolve(folder, &target);
    return why.isEmpty() ? whyUntrustedAt(target, true) : why;
}

} // namespace filetrust
