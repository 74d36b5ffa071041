// keystrel-cli: the encryption of Keystrel's form from a terminal, a script
// or a machine without a display. Qt Core only.
#include "CommandLine.h"
#include "Console.h"
#include "ExitStatus.h"
#include "FileCommand.h"
#include "Interrupt.h"
#include "StatusCommand.h"
#include "StringCommand.h"
#include "Utf8.h"

#include <clocale>
#include <cstdio>
#include <langinfo.h>
#include <strings.h>

namespace {

// Without a locale (cron, a bare ssh session) Qt would take file names and
// texts for ASCII and spoil every other character; UTF-8 is what such a
// system's names and texts almost always are. In both cases names keep the
// bytes they have, UTF-8 or not.
void useLocaleEncoding()
{
    std::setlocale(LC_ALL, "");
    const char *codeset = nl_langinfo(CODESET);
    if (!codeset || strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0
        || strcasecmp(codeset, "ANSI_X3.4-1968") == 0 || strcasecmp(codeset, "ASCII") == 0)
        utf8::useForLocale();
}

void print(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

int run(const Invocation &invocation, Console &console)
{
    using Command = Invocation::Command;
    switch (invocation.command) {
    case Command::Help:
        print(helpText());
        return exitstatus::kDone;
    case Command::Version:
        print(QStringLiteral("keystrel-cli " KEYSTREL_VERSION "\n"));
        return exitstatus::kDone;
    case Command::EncryptString:
    case Command::DecryptString:
        // Reading standard input must not wait on after Ctrl-C.
        interrupt::install(false);
        return runStringCommand(invocation.command == Command::EncryptString ? StringMode::Encrypt
                                                                             : StringMode::Decrypt,
                                invocation.hasText ? &invocation.text : nullptr, console);
    case Command::Status:
        interrupt::install(true);
        return runStatusCommand(invocation.paths, invocation.nulSeparated, console);
    case Command::Encrypt:
    case Command::Decrypt:
    case Command::Toggle:
        break;
    }
    interrupt::install(true);
    const jobs::Asked asked = invocation.command == Command::Encrypt   ? jobs::Asked::Encrypt
                              : invocation.command == Command::Decrypt ? jobs::Asked::Decrypt
                                                                       : jobs::Asked::Toggle;
    return runFileCommand(asked, invocation.paths, console);
}

} // namespace

int main(int argc, char **argv)
{
    useLocaleEncoding();
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.ok) {
        Console::error(parsed.error);
        const QByteArray usage = usageText().toUtf8();
        std::fwrite(usage.constData(), 1, size_t(usage.size()), stderr);
        return exitstatus::kUsage;
    }
    Console console(parsed.invocation.quiet);
    int status = run(parsed.invocation, console);
    console.progress().clear();
    if (!console.flushResults() && status == exitstatus::kDone) {
        Console::error(QStringLiteral("standard output could not be written"));
        status = exitstatus::kFailed;
    }
    return status;
}
