#include "Replacement.h"

#include "Folder.h"
#include "SystemCalls_win.h"
#include "TemporaryName.h"

#include <aclapi.h>

namespace vaultine {

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

// A file that a plain write or a rename would be refused is not handed to
// ReplaceFileW, which would fail part-way: Wine's leaves a name of its own
// beside the file, an empty "rf….tmp" where the file cannot be moved, and
// the old content under that name where it cannot be deleted (a program or
// library that runs). So the file is opened first as a write and a rename
// open it; ERROR_SUCCESS when both are allowed.
DWORD mayBeReplaced(const std::wstring &target)
{
    const HANDLE file = seam().createFile(target.c_str(), FILE_WRITE_DATA | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    ::CloseHandle(file);
    return ERROR_SUCCESS;
}

// How a put in place ended: the error code (ERROR_SUCCESS), and whether the
// old file was removed from its name on the way.
struct Placed
{
    DWORD error = ERROR_SUCCESS;
    bool oldRemoved = false;
};

// Puts `temporary` at `target`.
Placed putInPlace(const std::wstring &target, const std::wstring &temporary, bool replacing)
{
    if (!replacing)
        return Placed{seam().moveFile(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) ? DWORD(ERROR_SUCCESS)
                                                                                                 : ::GetLastError()};
    // ReplaceFileW keeps the file's identity as Explorer knows it: owner,
    // access list, creation time, short name, streams.
    if (seam().replaceFile(target.c_str(), temporary.c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return Placed{};
    // Where it cannot (FAT, a file that vanished, a file system that lacks
    // it), a move written through; the rest is copied by hand. Failing with
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT (no backup name asked for), it has
    // removed the old file already: nothing is left to copy from.
    const DWORD failed = ::GetLastError();
    const bool oldRemoved = failed == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    if (!oldRemoved)
        copyAccessList(target, temporary);
    if (seam().moveFile(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Placed{};
    const DWORD moved = ::GetLastError();
    return Placed{moved == ERROR_FILE_NOT_FOUND ? failed : moved, oldRemoved};
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

// The new file as about to be put in place: hidden, and no longer marked as
// unplaced (checked, not assumed: from here on it may become the only copy).
bool markAsPlaced(HANDLE file, const Shown &shown)
{
    Shown hidden;
    hidden.created = shown.created;
    hidden.attributes = FILE_ATTRIBUTE_HIDDEN;
    FILE_BASIC_INFO basic;
    return show(file, hidden) && ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)
           && !(basic.FileAttributes & kUnplacedMark);
}

// The old file seen at its name after a failed put in place: only then may
// the new content go. Unknown counts as gone. (A file deleted while open
// still looks there to Wine, which is why the error decides first.)
bool seenThere(const Folder &folder, const QString &name, const FileIdentity &old)
{
    FileState now;
    return folder.lookUp(name, &now) == Folder::Entry::Present && now.identity == old;
}

// The new content that has to stay where it is: shown as the old file was,
// no longer hidden, so that the user finds it where the log says. Best effort.
void uncover(const QString &path, const Shown &shown)
{
    const FileHandle file(nativeOf(::CreateFileW(widePath(path).c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    if (!file.isValid())
        return;
    Shown visible = shown;
    visible.created = LARGE_INTEGER{};
    // Without the unplaced mark, even where the old file was a system file:
    // with it, the next batch would take this only copy for redundant.
    visible.attributes &= ~DWORD(FILE_ATTRIBUTE_HIDDEN | kUnplacedMark);
    show(handleOf(file), visible);
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
// Until the commit it is also marked a system file (kUnplacedMark): a
// leftover that still has the mark was never about to be put in place, and
// its original was never touched (Leftover_win.cpp).
bool Replacement::createNamed()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = temporaryname::fresh();
        m_file.reset(nativeOf(::CreateFileW(
            widePath(childPath(m_folder.path(), name)).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE,
            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | kUnplacedMark, nullptr)));
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
    const DWORD refused = m_replacing ? mayBeReplaced(widePath(target)) : DWORD(ERROR_SUCCESS);
    if (refused != ERROR_SUCCESS) {
        m_error = errorText(refused);
        discard();
        return Committed::Failed;
    }
    // The old creation time from now on; hidden until it has the name, and
    // the unplaced mark gone before the old file is touched. The old file's
    // own attributes come once the new one has its name.
    if (!markAsPlaced(handleOf(m_file), shown)) {
        fail();
        discard();
        return Committed::Failed;
    }
    // Both ways of putting it in place open the new file themselves.
    m_file.reset();
    const QString temporary = childPath(m_folder.path(), m_temporaryName);
    const Placed placed = putInPlace(widePath(target), widePath(temporary), m_replacing);
    const DWORD error = placed.error;
    if (error != ERROR_SUCCESS) {
        m_error = errorText(error);
        // Never the only copy: where the old file was removed, or is not
        // seen at its name any more, the new content stays where it is.
        if (m_replacing && (placed.oldRemoved || !seenThere(m_folder, m_name, m_existing.identity))) {
            uncover(temporary, shown);
            m_keptAside = temporary;
            m_temporaryName.clear();
            return Committed::KeptAside;
        }
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

} // namespace vaultine
