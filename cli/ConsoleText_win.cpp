#include "ConsoleText.h"

#include <QString>

#include <windows.h>

namespace consoletext {
namespace {

HANDLE handleOf(Stream stream)
{
    return ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool writeConsole(HANDLE console, const QByteArray &utf8)
{
    const QString text = QString::fromUtf8(utf8);
    const auto *data = reinterpret_cast<const wchar_t *>(text.utf16());
    int left = text.size();
    while (left > 0) {
        // Consoles take a limited amount per call.
        DWORD put = 0;
        if (!::WriteConsoleW(console, data, DWORD(qMin(left, 8192)), &put, nullptr) || put == 0)
            return false;
        data += put;
        left -= int(put);
    }
    return true;
}

bool writeFile(HANDLE file, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        DWORD put = 0;
        if (!::WriteFile(file, data, DWORD(qMin<qint64>(left, 1 << 20)), &put, nullptr) || put == 0)
            return false;
        data += put;
        left -= put;
    }
    return true;
}

} // namespace

bool isConsole(Stream stream)
{
    DWORD mode = 0;
    return ::GetConsoleMode(handleOf(stream), &mode) != 0;
}

bool write(Stream stream, const QByteArray &utf8)
{
    const HANDLE handle = handleOf(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) ? writeConsole(handle, utf8) : writeFile(handle, utf8);
}

QStringList arguments(int argc, char **argv)
{
    int count = 0;
    LPWSTR *wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    QStringList result;
    if (wide) {
        for (int i = 0; i < count; ++i)
            result << QString::fromWCharArray(wide[i]);
        ::LocalFree(wide);
    }
    if (result.size() == argc)
        return result;
    // Not the process's own vector: its 8-bit text is all there is.
    result.clear();
    for (int i = 0; i < argc && argv[i]; ++i)
        result << QString::fromLocal8Bit(argv[i]);
    return result;
}

} // namespace consoletext
