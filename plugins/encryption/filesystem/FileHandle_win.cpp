#include "FileHandle.h"

#include "SystemCalls_win.h"

namespace vaultine {

void FileHandle::closeNative(qintptr native)
{
    ::CloseHandle(reinterpret_cast<HANDLE>(native));
}

} // namespace vaultine
