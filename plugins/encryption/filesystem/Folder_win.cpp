#include "Folder.h"

#include "SystemCalls_win.h"

namespace vaultine {

using namespace wincalls;

namespace {

Folder::Opened failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return Folder::Opened::Missing;
    case ERROR_DIRECTORY:
        return Folder::Opened::Replaced;
    default:
        return Folder::Opened::Unreadable;
    }
}

FileHandle openFolder(const QString &path, FollowLinks follow)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow == FollowLinks::No ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    return FileHandle(nativeOf(::CreateFileW(widePath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                             kShareAll, nullptr, OPEN_EXISTING, flags, nullptr)));
}

// What a handle just opened holds: a folder, or why it is not one.
Folder::Opened judged(const FileHandle &handle)
{
    if (!handle.isValid())
        return failureOf(::GetLastError());
    FileState state;
    if (!stateOf(handleOf(handle), &state))
        return Folder::Opened::Unreadable;
    return state.kind == FileKind::Folder ? Folder::Opened::Ok : Folder::Opened::Replaced;
}

} // namespace

Folder::Opened Folder::adopt(FileHandle handle, const QString &path)
{
    m_shortage = handle.isValid() ? Shortage::None : shortageOf(::GetLastError());
    const Opened judgement = judged(handle);
    if (judgement != Opened::Ok)
        return judgement;
    m_handle = std::move(handle);
    m_path = path;
    return Opened::Ok;
}

Folder::Opened Folder::open(const QString &path)
{
    m_handle.reset();
    if (path.isEmpty() || isDevicePath(path))
        return Opened::Missing;
    return adopt(openFolder(path, FollowLinks::Yes), path);
}

Folder::Opened Folder::openChild(const Folder &parent, const QString &name)
{
    // Windows names a child by its full path; the handle, opened without
    // following a link, then tells what is there. The caller checks that it
    // is the folder it expects.
    m_handle.reset();
    const QString path = childPath(parent.m_path, name);
    return adopt(openFolder(path, FollowLinks::No), path);
}

bool Folder::identify(FileIdentity *identity) const
{
    FileState state;
    if (!stateOf(handleOf(m_handle), &state))
        return false;
    *identity = state.identity;
    return true;
}

Folder::Entry Folder::lookUp(const QString &name, FileState *state) const
{
    const FileHandle handle = openForAttributes(childPath(m_path, name), FollowLinks::No);
    if (!handle.isValid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Entry::Absent : Entry::Unknown;
    }
    return stateOf(handleOf(handle), state) ? Entry::Present : Entry::Unknown;
}

bool Folder::allowsWriting(const QString &name) const
{
    const DWORD attributes = ::GetFileAttributesW(widePath(childPath(m_path, name)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

bool Folder::flush(QString *error) const
{
    // The folder's handle was opened for listing; a flush needs one that may
    // add to the folder (NtFlushBuffersFile asks for FILE_WRITE_DATA or
    // FILE_APPEND_DATA, which are FILE_ADD_FILE and FILE_ADD_SUBDIRECTORY
    // on a folder). Only those are asked for: a file could be put in place
    // here only by one allowed to add a file, while GENERIC_WRITE also asks
    // to change the folder's own attributes, which an access list may deny.
    const std::wstring path = widePath(m_path);
    DWORD code = ERROR_SUCCESS;
    HANDLE folder = INVALID_HANDLE_VALUE;
    for (const DWORD access : {DWORD(FILE_ADD_FILE), DWORD(FILE_ADD_SUBDIRECTORY)}) {
        folder = seam().createFile(path.c_str(), access | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (folder != INVALID_HANDLE_VALUE)
            break;
        code = ::GetLastError();
        if (code != ERROR_ACCESS_DENIED)
            break;
    }
    if (folder == INVALID_HANDLE_VALUE) {
        *error = errorText(code);
        return false;
    }
    const bool flushed = ::FlushFileBuffers(folder) != 0;
    code = flushed ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(folder);
    // File systems that cannot flush a folder on request commit renames by
    // their own log; a rename done write-through is on disk already.
    if (flushed || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED)
        return true;
    *error = errorText(code);
    return false;
}

bool listNames(const QString &path, std::vector<ListedName> *names)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW(widePath(childPath(path, QStringLiteral("*"))).c_str(), FindExInfoBasic,
                                             &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND; // an empty folder (a drive's root)
    do {
        // UTF-16 names go through a QString unchanged.
        names->push_back(ListedName{QString::fromWCharArray(found.cFileName), true});
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return true;
}

} // namespace vaultine
