// The SID of the account the tests run as, in SDDL's text form, read here
// rather than through the code under test.
#pragma once

#include <QString>

#include <windows.h>

#include <sddl.h>

inline QString testUserSid()
{
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[512];
    DWORD size = sizeof buffer;
    LPWSTR text = nullptr;
    QString sid;
    if (::GetTokenInformation(token, TokenUser, buffer, size, &size)
        && ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &text)) {
        sid = QString::fromWCharArray(text);
        ::LocalFree(text);
    }
    ::CloseHandle(token);
    return sid;
}
