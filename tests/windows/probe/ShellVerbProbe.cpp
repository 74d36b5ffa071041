// Runs an Explorer verb's command line as Explorer does for one selected
// item: the command of the verb where Explorer reads it (the user's classes
// over the machine's: Software\Classes\<class>\shell\<verb>\command; Wine's
// HKEY_CLASSES_ROOT shows the machine's alone), "%1" replaced by the item's
// path, started by CreateProcess. The program's standard output and error go to LOG.
//
//   shellverb run CLASS VERB PATH LOG     waits for it, prints "exit <code>"
//   shellverb start CLASS VERB PATH LOG   leaves it running
//
// Prints the command line first. Plain Win32: it needs no DLL of the build.
#include "PrintLine.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring verbCommand(const std::wstring &className, const std::wstring &verb)
{
    const std::wstring key = L"Software\\Classes\\" + className + L"\\shell\\" + verb + L"\\command";
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        wchar_t buffer[4096];
        DWORD size = sizeof buffer;
        if (::RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS)
            return buffer;
    }
    return std::wstring();
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 6)
        return 2;
    const std::wstring mode = argv[1];
    std::wstring command = verbCommand(argv[2], argv[3]);
    const size_t item = command.find(L"%1");
    if (item == std::wstring::npos) {
        print(L"no command with %1");
        return 1;
    }
    command.replace(item, 2, argv[4]);
    print(command);

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE log = ::CreateFileW(argv[5], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION process{};
    if (log == INVALID_HANDLE_VALUE
        || !::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        print(L"not started");
        return 1;
    }
    ::CloseHandle(log);
    if (mode == L"run") {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        print(L"exit " + std::to_wstring(code));
    } else {
        print(L"started");
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 0;
}
