#include "ConsoleText.h"

#include "Interrupt.h"
#include "Utf8.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
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

void useNameEncoding()
{
    utf8::useForLocale();
}

QList<QByteArray> argumentBytes(int argc, char **argv)
{
    const QStringList all = arguments(argc, argv);
    QList<QByteArray> result;
    for (int i = 1; i < all.size(); ++i)
        result << all.at(i).toUtf8();
    return result;
}

namespace {

bool g_resultLost = false;

// The C runtime's text mode would write "\r\n" for "\n", and read it back.
void useBinaryStreams()
{
    static const bool once = [] {
        ::_setmode(::_fileno(stdout), _O_BINARY);
        ::_setmode(::_fileno(stdin), _O_BINARY);
        return true;
    }();
    (void)once;
}

} // namespace

void writeResult(const QByteArray &bytes)
{
    if (isConsole(Stream::Output)) {
        g_resultLost = !write(Stream::Output, bytes) || g_resultLost;
        return;
    }
    useBinaryStreams();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

bool flushResults()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout) && !g_resultLost;
}

qint64 readInput(char *buffer, qint64 size)
{
    useBinaryStreams();
    const int got = ::_read(0, buffer, unsigned(qMin<qint64>(size, INT_MAX)));
    // A read that Ctrl-C cancelled (CancelSynchronousIo) fails as EINTR
    // does on Unix.
    if (got < 0 && interrupt::requested())
        errno = EINTR;
    return got;
}

int columns(Stream stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(handleOf(stream), &info))
        return 80;
    return qMax(1, int(info.srWindow.Right - info.srWindow.Left + 1));
}

} // namespace consoletext
