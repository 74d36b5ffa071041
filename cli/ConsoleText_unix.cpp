#include "ConsoleText.h"

#include "Utf8.h"

#include <QFile>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <langinfo.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace consoletext {
namespace {

int fdOf(Stream stream)
{
    return stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

} // namespace

bool isConsole(Stream stream)
{
    return ::isatty(fdOf(stream)) == 1;
}

bool write(Stream stream, const QByteArray &utf8)
{
    const char *data = utf8.constData();
    qint64 left = utf8.size();
    while (left > 0) {
        const ssize_t put = ::write(fdOf(stream), data, size_t(left));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        left -= put;
    }
    return true;
}

QStringList arguments(int argc, char **argv)
{
    QStringList result;
    for (int i = 0; i < argc && argv[i]; ++i)
        result << QFile::decodeName(argv[i]);
    return result;
}

// Without a locale (cron, a bare ssh session) Qt would take file names and
// texts for ASCII and spoil every other character; UTF-8 is what such a
// system's names and texts almost always are. In both cases names keep the
// bytes they have, UTF-8 or not.
void useNameEncoding()
{
    std::setlocale(LC_ALL, "");
    const char *codeset = nl_langinfo(CODESET);
    if (!codeset || strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0
        || strcasecmp(codeset, "ANSI_X3.4-1968") == 0 || strcasecmp(codeset, "ASCII") == 0)
        utf8::useForLocale();
}

QList<QByteArray> argumentBytes(int argc, char **argv)
{
    QList<QByteArray> result;
    for (int i = 1; i < argc; ++i)
        result << QByteArray(argv[i]);
    return result;
}

void writeResult(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

bool flushResults()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

qint64 readInput(char *buffer, qint64 size)
{
    return qint64(::read(STDIN_FILENO, buffer, size_t(size)));
}

int columns(Stream stream)
{
    struct winsize size = {};
    return ::ioctl(fdOf(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

} // namespace consoletext
