#include "Replacement.h"

#include "Folder.h"
#include "SystemCalls_win.h"
#include "TemporaryName.h"

#include <aclapi.h>

using namespace wincalls;

namespace {

constexpr int kNameAttempts = 100;
// What Explorer shows of a file besides its name and content, and keeps when
// a program saves it.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The creation time and attributes a file shows.
struct Shown
{
    LARGE_INTEGER created{};
    DWORD attributes = 0;
};

bool shownOf(const QString &path, Shown *shown)
{
    const FileHandle file = openForAttributes(path, FollowLinks::No);
    FILE_BASIC_INFO basic;
    if (!file.isValid() || !::GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &basic, sizeof basic))
        return false;
    shown->created = basic.CreationTime;
    shown->attributes = basic.FileAttributes & kKeptAttributes;
    return true;
}

// Zero times are left as they are; zero attributes mean none.
bool show(HANDLE file, const Shown &shown)
{
    FILE_BASIC_INFO basic{};
    basic.CreationTime = shown.created;
    basic.FileAttributes = shown.attributes ? shown.attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// The access list of `from` given to `to`, for a move, which keeps the
// moved file's own. Best effort: the move goes ahead without it.
void copyAccessList(const std::wstring &from, const std::wstring &to)
{
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                                nullptr, &descriptor)
        != ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION
        | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    ::SetNamedSecurityInfoW(const_cast<LPWSTR>(to.c_str()), SE_FILE_OBJECT, what, nullptr, nullptr, list, nullptr);
    ::LocalFree(descriptor);
}

// Puts `temporary` at `target`; the error code, or ERROR_SUCCESS.
DWORD putInPlace(const std::wstring &target, const std::wstring &temporary, bool replacing)
{
    if (!replacing)
        return ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS
                                                                                        : ::GetLastError();
    // ReplaceFileW keeps the file's identity as Explorer knows it: owner,
    // access list, creation time, short name, streams.
    if (::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return ERROR_SUCCESS;
    // Where it cannot (FAT, a file that vanished, a file system that lacks
    // it), a move written through; the rest is copied by hand.
    const DWORD failed = ::GetLastError();
    if (failed != ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        copyAccessList(target, temporary);
    if (::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_SUCCESS;
    const DWORD moved = ::GetLastError();
    return moved == ERROR_FILE_NOT_FOUND ? failed : moved;
}

// The file at its name shows what the old one showed (a new file: nothing
// hidden), provided it is still the one put there.
void showAtName(const QString &target, const Shown &shown, const FileIdentity &created, const FileIdentity &old)
{
    const FileHandle placed(
        nativeOf(::CreateFileW(widePath(target).c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    FileState state;
    if (!placed.isValid() || !stateOf(handleOf(placed), &state) || (state.identity != created && state.identity != old))
        return;
    Shown attributesOnly = shown;
    attributesOnly.created = LARGE_INTEGER{};
    show(handleOf(placed), attributesOnly);
}

} // namespace

void Replacement::fail()
{
    const DWORD error = ::GetLastError();
    m_shortage = shortageOf(error);
    m_error = errorText(error);
}

// Windows has no unnamed files: the new one is hidden under a temporary name
// from the start, so that an interrupted rewrite leaves nothing in sight.
bool Replacement::createNamed()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = temporaryname::fresh();
        m_file.reset(nativeOf(::CreateFileW(widePath(childPath(m_folder.path(), name)).c_str(),
                                            GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr)));
        if (m_file.isValid()) {
            m_temporaryName = name;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

Replacement::Opened Replacement::open()
{
    if (!createNamed()) {
        fail();
        return Opened::Failed;
    }
    if (!stateOf(handleOf(m_file), &m_created)) {
        fail();
        discard();
        return Opened::Failed;
    }
    // Owner and access list come with ReplaceFileW at the commit.
    return Opened::Ok;
}

bool Replacement::write(const char *data, qint64 length)
{
    if (!m_file.isValid())
        return false;
    while (length > 0) {
        DWORD put = 0;
        if (!::WriteFile(handleOf(m_file), data, DWORD(qMin<qint64>(length, qint64(1) << 30)), &put, nullptr)) {
            fail();
            return false;
        }
        data += put;
        length -= put;
        m_written += put;
    }
    return true;
}

bool Replacement::finish(Flush flush)
{
    // Attributes and times are given at the commit, so that the file stays
    // hidden until then.
    return m_file.isValid() && (flush == Flush::WithOthers || this->flush());
}

bool Replacement::flush()
{
    if (m_file.isValid() && ::FlushFileBuffers(handleOf(m_file)))
        return true;
    fail();
    return false;
}

Replacement::Committed Replacement::commit()
{
    if (!m_file.isValid())
        return Committed::Failed;
    if (!targetStillAsRead()) {
        discard();
        return Committed::Changed;
    }
    const QString target = childPath(m_folder.path(), m_name);
    Shown shown;
    if (m_replacing && !shownOf(target, &shown)) {
        fail();
        discard();
        return Committed::Failed;
    }
    // The old creation time from now on; hidden until it has the name.
    Shown hidden = shown;
    hidden.attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (!show(handleOf(m_file), hidden)) {
        fail();
        discard();
        return Committed::Failed;
    }
    // Both ways of putting it in place open the new file themselves.
    m_file.reset();
    const DWORD error =
        putInPlace(widePath(target), widePath(childPath(m_folder.path(), m_temporaryName)), m_replacing);
    if (error != ERROR_SUCCESS) {
        m_error = errorText(error);
        discard();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Committed::Changed : Committed::Failed;
    }
    m_temporaryName.clear();
    showAtName(target, shown, m_created.identity, m_existing.identity);
    return Committed::Done;
}

void Replacement::discard()
{
    m_file.reset();
    if (!m_temporaryName.isEmpty())
        ::DeleteFileW(widePath(childPath(m_folder.path(), m_temporaryName)).c_str());
    m_temporaryName.clear();
}

// Every file is flushed on its own here (DurableFlush_win.cpp): its flush
// said all there is to say.
bool Replacement::confirmWrittenBack()
{
    return m_file.isValid();
}
