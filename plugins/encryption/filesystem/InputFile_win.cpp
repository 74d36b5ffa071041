#include "InputFile.h"

#include "Folder.h"
#include "SystemCalls_win.h"

namespace vaultine {

using namespace wincalls;

namespace {

InputFile::Opened failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return InputFile::Opened::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return InputFile::Opened::InUse;
    default:
        return InputFile::Opened::Unreadable;
    }
}

FileHandle openForReading(const QString &path, FollowLinks follow)
{
    const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (follow == FollowLinks::No ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    return FileHandle(nativeOf(
        ::CreateFileW(widePath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr)));
}

bool seek(HANDLE handle, qint64 to, qint64 *was = nullptr)
{
    LARGE_INTEGER distance;
    LARGE_INTEGER previous;
    distance.QuadPart = 0;
    if (was) {
        if (!::SetFilePointerEx(handle, distance, &previous, FILE_CURRENT))
            return false;
        *was = previous.QuadPart;
    }
    distance.QuadPart = to;
    return ::SetFilePointerEx(handle, distance, nullptr, FILE_BEGIN) != 0;
}

} // namespace

// Closed at once on Windows: until the old content's last handle goes, the
// file it was keeps a name beside the new one (Windows lists a file being
// deleted until then; Wine's ReplaceFileW moves an open file to a backup
// name of its own).
void InputFile::closeLater()
{
    m_handle.reset();
}

InputFile::Opened InputFile::adopt(FileHandle handle)
{
    // What was really opened decides: a device or pipe is never read, and a
    // folder (opened only by a link's target) is no file.
    FileState state;
    if (!stateOf(handleOf(handle), &state) || state.kind != FileKind::Regular)
        return Opened::NotRegular;
    m_state = state;
    m_handle = std::move(handle);
    return Opened::Ok;
}

bool InputFile::open(const QString &path)
{
    close();
    m_openFailure = Opened::Missing;
    if (path.isEmpty() || isDevicePath(path))
        return false;
    FileHandle handle = openForReading(path, FollowLinks::Yes);
    m_shortage = handle.isValid() ? Shortage::None : shortageOf(::GetLastError());
    if (!handle.isValid()) {
        m_openFailure = failureOf(::GetLastError());
        return false;
    }
    m_openFailure = adopt(std::move(handle));
    return m_openFailure == Opened::Ok;
}

InputFile::Opened InputFile::openIn(const Folder &folder, const QString &name)
{
    close();
    FileHandle handle = openForReading(childPath(folder.path(), name), FollowLinks::No);
    m_shortage = handle.isValid() ? Shortage::None : shortageOf(::GetLastError());
    if (!handle.isValid())
        return failureOf(::GetLastError());
    FileState state;
    if (stateOf(handleOf(handle), &state) && state.kind == FileKind::Link)
        return Opened::Link;
    return adopt(std::move(handle));
}

qint64 InputFile::readFully(char *buffer, qint64 want)
{
    qint64 total = 0;
    while (total < want) {
        const DWORD ask = DWORD(qMin<qint64>(want - total, qint64(1) << 30));
        DWORD got = 0;
        if (!::ReadFile(handleOf(m_handle), buffer + total, ask, &got, nullptr)) {
            m_error = errorText(::GetLastError());
            return -1;
        }
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

bool InputFile::byteAt(qint64 offset, char *byte)
{
    const HANDLE handle = handleOf(m_handle);
    qint64 resume = 0;
    if (!seek(handle, offset, &resume))
        return false;
    const bool ok = readFully(byte, 1) == 1;
    return seek(handle, resume) && ok;
}

qint64 InputFile::peekStart(char *buffer, qint64 length)
{
    const HANDLE handle = handleOf(m_handle);
    qint64 resume = 0;
    if (!seek(handle, 0, &resume))
        return -1;
    const qint64 got = readFully(buffer, length);
    return seek(handle, resume) ? got : -1;
}

} // namespace vaultine
