#include "CommandLine.h"

#include <QFile>

namespace {

struct CommandName
{
    const char *name;
    Invocation::Command command;
};

const CommandName kCommands[] = {
    {"encrypt", Invocation::Command::Encrypt},
    {"decrypt", Invocation::Command::Decrypt},
    {"toggle", Invocation::Command::Toggle},
    {"status", Invocation::Command::Status},
    {"encrypt-string", Invocation::Command::EncryptString},
    {"decrypt-string", Invocation::Command::DecryptString},
};

bool isStringCommand(Invocation::Command command)
{
    return command == Invocation::Command::EncryptString || command == Invocation::Command::DecryptString;
}

ParsedCommandLine failure(const QString &error)
{
    ParsedCommandLine parsed;
    parsed.error = error;
    return parsed;
}

} // namespace

ParsedCommandLine parseCommandLine(const QList<QByteArray> &arguments)
{
    // Options may come anywhere before "--"; after it everything is an
    // operand, so that a text or a file name may start with a dash.
    bool help = false;
    bool version = false;
    bool quiet = false;
    bool nulSeparated = false;
    bool optionsEnded = false;
    QList<QByteArray> operands;
    for (const QByteArray &argument : arguments) {
        if (optionsEnded || !argument.startsWith('-') || argument == "-") {
            operands << argument;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-q" || argument == "--quiet") {
            quiet = true;
        } else if (argument == "-0" || argument == "--null") {
            nulSeparated = true;
        } else if (argument == "-h" || argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            return failure(QStringLiteral("unknown option '%1'").arg(QString::fromLocal8Bit(argument)));
        }
    }

    ParsedCommandLine parsed;
    parsed.invocation.quiet = quiet;
    if (help || version) {
        parsed.ok = true;
        parsed.invocation.command = help ? Invocation::Command::Help : Invocation::Command::Version;
        return parsed;
    }
    if (operands.isEmpty())
        return failure(QStringLiteral("no command given"));

    const QByteArray name = operands.takeFirst();
    const CommandName *found = nullptr;
    for (const CommandName &command : kCommands) {
        if (name == command.name)
            found = &command;
    }
    if (!found)
        return failure(QStringLiteral("unknown command '%1'").arg(QString::fromLocal8Bit(name)));

    Invocation &invocation = parsed.invocation;
    invocation.command = found->command;
    if (nulSeparated && invocation.command != Invocation::Command::Status)
        return failure(QStringLiteral("-0 (--null) is for status only"));
    invocation.nulSeparated = nulSeparated;
    if (isStringCommand(invocation.command)) {
        if (operands.size() > 1)
            return failure(QStringLiteral("%1 takes one text at most (quote it)").arg(QLatin1String(found->name)));
        invocation.hasText = !operands.isEmpty();
        if (invocation.hasText)
            invocation.text = operands.first();
    } else {
        if (operands.isEmpty())
            return failure(QStringLiteral("%1 needs at least one PATH").arg(QLatin1String(found->name)));
        for (const QByteArray &operand : qAsConst(operands)) {
            if (operand.isEmpty())
                return failure(QStringLiteral("an empty PATH"));
            invocation.paths << QFile::decodeName(operand);
        }
    }
    parsed.ok = true;
    return parsed;
}

QString usageText()
{
    return QStringLiteral("Usage: keystrel-cli [-q] encrypt|decrypt|toggle PATH...\n"
                          "       keystrel-cli [-q] [-0] status PATH...\n"
                          "       keystrel-cli [-q] encrypt-string [TEXT]\n"
                          "       keystrel-cli [-q] decrypt-string [HEX]\n"
                          "Try 'keystrel-cli --help' for more information.\n");
}

QString helpText()
{
    return QStringLiteral(
        "Usage: keystrel-cli [OPTION]... COMMAND [ARGUMENT]...\n"
        "Encrypt and decrypt files, folders and texts as Keystrel's encryption form does:\n"
        "the same format, key and log lines.\n"
        "\n"
        "Commands:\n"
        "  encrypt PATH...          encrypt files in place; folders are walked as a drop walks them\n"
        "  decrypt PATH...          decrypt files in place; folders likewise\n"
        "  toggle PATH...           what a drop does: each file by its header, each folder in the\n"
        "                           direction of its first file\n"
        "  status PATH...           one line per file: \"encrypted\" or \"plain\", a tab and the path;\n"
        "                           a name with control characters, a double quote, a backslash or\n"
        "                           bytes that are not UTF-8 is quoted as git quotes it (\"a\\nb\")\n"
        "  encrypt-string [TEXT]    print the lower-case hexadecimal ciphertext of TEXT (of standard\n"
        "                           input, less one final newline, when TEXT is absent); TEXT must be\n"
        "                           UTF-8, at most 8 MiB\n"
        "  decrypt-string [HEX]     print the text of HEX (of standard input when HEX is absent)\n"
        "\n"
        "Options:\n"
        "  -q, --quiet              no log lines on standard error\n"
        "  -0, --null               status: names as they are, each line ended by a zero byte\n"
        "                           instead of a newline (for xargs -0)\n"
        "  -h, --help               show this help and exit\n"
        "      --version            show the version and exit\n"
        "  --                       end of options: what follows is a PATH or TEXT\n"
        "\n"
        "Log lines go to standard error (never a text or its decryption), results to standard\n"
        "output. On a terminal a progress line shows on standard error. Ctrl-C stops safely:\n"
        "the file in hand keeps its bytes.\n"
        "\n"
        "Exit status: 0 when everything was done or already in the asked state, 1 when a file\n"
        "failed, a text was refused (not UTF-8, too long) or could not be decrypted, or its\n"
        "decryption is not UTF-8, 2 on a usage error, 130 after Ctrl-C.\n");
}
