#include "NamedThread.h"

#include <windows.h>

namespace vaultine {

void nameThisThread(const char *name)
{
    // Windows 10 1607 and later; looked up, so that older systems (and
    // older Wine) still run the program.
    using SetDescription = HRESULT(WINAPI *)(HANDLE, PCWSTR);
    static const auto set = reinterpret_cast<SetDescription>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!set)
        return;
    wchar_t wide[64] = {};
    for (int i = 0; i < 63 && name[i]; ++i)
        wide[i] = wchar_t(name[i]);
    set(::GetCurrentThread(), wide);
}

} // namespace vaultine
