// keystrel-cli: the encryption of Keystrel's form from a terminal, a script
// or a machine without a display. Qt Core only.
#include "CommandLine.h"
#include "Console.h"
#include "ConsoleText.h"
#include "ExitStatus.h"
#include "FileCommand.h"
#include "Interrupt.h"
#include "StatusCommand.h"
#include "StringCommand.h"
#include "Utf8.h"
#include "filesystem/ProgramFiles.h"

using namespace vaultine;

namespace {

void print(const QString &text)
{
    consoletext::writeResult(text.toLocal8Bit());
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
        interrupt::install(interrupt::BlockingCalls::Interrupted);
        return runStringCommand(invocation.command == Command::EncryptString ? StringMode::Encrypt
                                                                             : StringMode::Decrypt,
                                invocation.hasText ? &invocation.text : nullptr, console);
    case Command::Status:
        interrupt::install(interrupt::BlockingCalls::Restarted);
        return runStatusCommand(invocation.paths, invocation.nulSeparated, console);
    case Command::Encrypt:
    case Command::Decrypt:
    case Command::Toggle:
        break;
    }
    interrupt::install(interrupt::BlockingCalls::Restarted);
    const jobs::Asked asked = invocation.command == Command::Encrypt   ? jobs::Asked::Encrypt
                              : invocation.command == Command::Decrypt ? jobs::Asked::Decrypt
                                                                       : jobs::Asked::Toggle;
    return runFileCommand(asked, invocation.paths, console);
}

} // namespace

int main(int argc, char **argv)
{
    consoletext::useNameEncoding();
    const ParsedCommandLine parsed = parseCommandLine(consoletext::argumentBytes(argc, argv));
    if (!parsed.ok) {
        Console::error(parsed.error);
        consoletext::write(consoletext::Stream::Error, usageText().toUtf8());
        return exitstatus::kUsage;
    }
    // Before any file is touched: the program's own files are never rewritten.
    programfiles::protect(programfiles::runningExecutable());
    Console console(parsed.invocation.quiet);
    int status = run(parsed.invocation, console);
    console.progress().clear();
    if (!console.flushResults() && status == exitstatus::kDone) {
        Console::error(QStringLiteral("standard output could not be written"));
        status = exitstatus::kFailed;
    }
    return status;
}
