#include "CurrentUser_win.h"

#include <windows.h>

std::vector<unsigned char> currentUserSid()
{
    std::vector<unsigned char> sid;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return sid;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        const PSID user = reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
        sid.assign(static_cast<BYTE *>(user), static_cast<BYTE *>(user) + ::GetLengthSid(user));
    }
    ::CloseHandle(token);
    return sid;
}
