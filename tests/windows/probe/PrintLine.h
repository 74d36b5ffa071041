#pragma once

// A probe's answer to its test: one line of UTF-8 on standard output, flushed
// at once so the test reads it while the probe still runs.

#include <windows.h>

#include <cstdio>
#include <string>

inline void print(const std::wstring &text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &bytes[0], size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
