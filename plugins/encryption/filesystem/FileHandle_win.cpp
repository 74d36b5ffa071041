#include "FileHandle.h"

#include "SystemCalls_win.h"

void FileHandle::closeNative(qintptr native)
{
    ::CloseHandle(reinterpret_cast<HANDLE>(native));
}
