#include "Leftover.h"

#include "Folder.h"
#include "SystemCalls_win.h"
#include "TemporaryName.h"

namespace vaultine {

using namespace wincalls;

// On Windows the new content has a name for the whole rewrite, and the old
// file is touched only when the new one is put in place: ReplaceFileW failing
// half-way (ERROR_UNABLE_TO_MOVE_REPLACEMENT, or Wine moving the old file to
// a backup name of its own first) leaves the new content as the only copy.
// Neither the temporary name nor the folder says which file it was for, so
// the original cannot be looked at. What can be told is how far the rewrite
// got: the new file carries kUnplacedMark from its creation until just
// before it is put in place, and loses it before anything happens to the
// old file (Replacement::commit). So a leftover is redundant when
// - it is a file of our name, not a link;
// - no one has it open for writing (a rewrite still under way does);
// - it still has the mark: its rewrite ended before the commit began, and
//   the file it was to replace is as that rewrite found it.
// A leftover without the mark (the commit had begun; one made by a version
// without the mark; a file system that keeps no system attribute) is kept.
LeftoverFate clearLeftover(const Folder &folder, const QString &name, QString *reason)
{
    if (!temporaryname::isTemporary(name) || !folder.isOpen())
        return LeftoverFate::Gone;
    // Sharing reading and deleting but not writing: refused while any
    // writer has it open. Removed through this very handle, as judged.
    const FileHandle file(nativeOf(::CreateFileW(widePath(childPath(folder.path(), name)).c_str(),
                                                 GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    if (!file.isValid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return LeftoverFate::Gone;
        return error == ERROR_SHARING_VIOLATION ? LeftoverFate::InUse : LeftoverFate::MayBeOnlyCopy;
    }
    FileState state;
    if (!stateOf(handleOf(file), &state) || state.kind != FileKind::Regular)
        return LeftoverFate::Gone;
    // The attributes stateOf reports are the system's (FileState_win.cpp).
    if ((state.attributes & kUnplacedMark) == 0)
        return LeftoverFate::MayBeOnlyCopy;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(handleOf(file), FileDispositionInfo, &disposition, sizeof disposition)) {
        *reason = errorText(::GetLastError());
        return LeftoverFate::NotRemoved;
    }
    return LeftoverFate::Removed;
}

} // namespace vaultine
