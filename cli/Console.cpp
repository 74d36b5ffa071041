#include "Console.h"

#include "Quoting.h"
#include "UserText.h"
#include "Utf8.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, data, size_t(left));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        data += put;
        left -= put;
    }
}

// UTF-8 whatever the locale, names with the bytes they have (Utf8.h), and
// nothing that could break the line or drive the terminal.
QByteArray lineBytes(const QString &line)
{
    return quoting::escapedLine(utf8::isLocaleCodec() ? line.toLocal8Bit() : line.toUtf8()) + '\n';
}

} // namespace

Console::Console(bool quiet)
    : m_quiet(quiet)
    , m_progress(STDERR_FILENO, !quiet)
{
}

void Console::log(const QString &line)
{
    // A terminal's standard error often ends in a log file: a text and its
    // decryption belong in the result alone.
    if (m_quiet || usertext::carriesUserText(line))
        return;
    m_progress.clear();
    // One write per line keeps lines whole when standard error is shared.
    writeAll(STDERR_FILENO, lineBytes(line));
}

LogFn Console::logger()
{
    return [this](const QString &line) { log(line); };
}

void Console::result(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

bool Console::flushResults()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

void Console::error(const QString &text)
{
    writeAll(STDERR_FILENO, lineBytes(QStringLiteral("keystrel-cli: ") + text));
}
