// What the Windows side of the file system layer shares: handles of
// FileHandle, paths as the wide API takes them (long ones included), the
// system's error texts, a handle's information turned into the neutral
// FileState, and the calls that change what a name holds, reached through
// one table so that a test can make them fail as a file system would.
// Included only by the *_win.cpp files and the Windows tests.
#pragma once

#include "FileHandle.h"
#include "FileState.h"
#include "Shortage.h"

#include <QString>

#include <string>
#include <windows.h>

namespace vaultine {

namespace wincalls {

// Every file is opened so that others may go on reading, writing, renaming
// and deleting it: the engine never locks a user's file.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline HANDLE handleOf(const FileHandle &handle)
{
    return reinterpret_cast<HANDLE>(handle.native());
}

inline qintptr nativeOf(HANDLE handle)
{
    return reinterpret_cast<qintptr>(handle);
}

// `path` (either separator, relative to the current folder or not) as an
// absolute path with the "\\?\" prefix, which lifts MAX_PATH and takes every
// name literally (a file called "nul" is a file).
std::wstring widePath(const QString &path);
// A name in the folder at `folder`.
QString childPath(const QString &folder, const QString &name);
// Paths of the device namespace ("\\.\pipe\…", "\\.\COM1"): never user files.
bool isDevicePath(const QString &path);

// The text Windows has for an error code (GetLastError()).
QString errorText(DWORD code);

// Opens `path` for its attributes only, which no other program's sharing can
// refuse; `follow` No opens a link itself.
FileHandle openForAttributes(const QString &path, FollowLinks follow);
// The state of what `handle` has open; false if it cannot be asked.
bool stateOf(HANDLE handle, FileState *state);

// The attribute a new file has under its temporary name until it is about to
// take the file's name (Replacement_win.cpp): a leftover that still has it
// never came near the original (Leftover_win.cpp). Wine keeps it too.
constexpr DWORD kUnplacedMark = FILE_ATTRIBUTE_SYSTEM;

// The calls by which a new file takes its name, and the opens that ask
// whether a file may be replaced and flush a folder. The engine reaches them
// only through seam(); a test replaces one before the work starts and puts
// it back after.
struct Seam
{
    decltype(&::ReplaceFileW) replaceFile = &::ReplaceFileW;
    decltype(&::MoveFileExW) moveFile = &::MoveFileExW;
    decltype(&::CreateFileW) createFile = &::CreateFileW;
};
Seam &seam();

// Whether a failure was for want of room or handles (Shortage.h).
inline Shortage shortageOf(DWORD error)
{
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        return Shortage::Room;
    if (error == ERROR_TOO_MANY_OPEN_FILES)
        return Shortage::Handles;
    return Shortage::None;
}

} // namespace wincalls

} // namespace vaultine
