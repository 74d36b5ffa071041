#include "Console.h"

#include "ConsoleText.h"
#include "Quoting.h"
#include "UserText.h"
#include "Utf8.h"

namespace {

// UTF-8 whatever the locale, names with the bytes they have (Utf8.h), and
// nothing that could break the line or drive the terminal.
QByteArray lineBytes(const QString &line)
{
    return quoting::escapedLine(utf8::isLocaleCodec() ? line.toLocal8Bit() : line.toUtf8()) + '\n';
}

} // namespace

Console::Console(bool quiet)
    : m_quiet(quiet)
    , m_progress(consoletext::Stream::Error, !quiet)
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
    consoletext::write(consoletext::Stream::Error, lineBytes(line));
}

LogFn Console::logger()
{
    return [this](const QString &line) { log(line); };
}

void Console::result(const QByteArray &bytes)
{
    consoletext::writeResult(bytes);
}

bool Console::flushResults()
{
    return consoletext::flushResults();
}

void Console::error(const QString &text)
{
    consoletext::write(consoletext::Stream::Error, lineBytes(QStringLiteral("keystrel-cli: ") + text));
}
