#include "HostedPlugin.h"

#include "FileTrust_win.h"
#include "LibraryFileCheck_win.h"

#include <QDir>

#include <windows.h>

bool HostedPlugin::loadChecked(const QString &target, QString *whyNot)
{
    const std::wstring name = QDir::toNativeSeparators(target).toStdWString();
    // Held open without write or delete sharing until the loader has mapped
    // the file: nobody changes it between the look and the load. Not
    // following a reparse point: `target` has none left.
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *whyNot = QStringLiteral("无法打开：") + qt_error_string(int(::GetLastError()));
        return false;
    }
    *whyNot = filetrust::whyUntrusted(file);
    if (whyNot->isEmpty() && !libraryfilecheck::looksLoadable(file))
        *whyNot = QStringLiteral("不是可加载的库文件");
    if (!whyNot->isEmpty()) {
        ::CloseHandle(file);
        return false;
    }

    // The plug-in's own folder first for what it depends on (Hubstone.dll
    // beside it), whatever PATH says; no error box for a broken file.
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    const HMODULE module = ::LoadLibraryExW(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD error = ::GetLastError();
    ::SetThreadErrorMode(oldMode, nullptr);
    ::CloseHandle(file);
    if (!module) {
        *whyNot = QStringLiteral("无法加载：") + qt_error_string(int(error));
        return false;
    }
    m_handle = module;
    m_object = module;
    return true;
}

void *HostedPlugin::ownSymbol(const char *symbol) const
{
    // An export may forward to another library, Hubstone among them, which
    // exports entry points of the same names: a plug-in without its own
    // would have its calls land in Hubstone's.
    const auto module = static_cast<HMODULE>(m_handle);
    const FARPROC address = ::GetProcAddress(module, symbol);
    HMODULE owner = nullptr;
    if (!address
        || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(address), &owner)
        || owner != module)
        return nullptr;
    return reinterpret_cast<void *>(address);
}

void HostedPlugin::unload()
{
    ::FreeLibrary(static_cast<HMODULE>(m_handle));
    m_handle = nullptr;
}
