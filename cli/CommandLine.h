// What the user asked for on the command line.
#pragma once

#include <QString>
#include <QStringList>

struct Invocation
{
    enum class Command { Encrypt, Decrypt, Toggle, Status, EncryptString, DecryptString, Help, Version };

    Command command = Command::Help;
    QStringList paths;    // the file commands' paths
    bool hasText = false; // the string commands: false reads standard input
    QByteArray text;      // as given: checked and decoded by the command
    bool quiet = false;
    bool nulSeparated = false; // status: names as they are, each line ended by a zero byte
};

struct ParsedCommandLine
{
    bool ok = false;
    QString error; // what was wrong, when not ok
    Invocation invocation;
};

// `arguments` without the program name, as the bytes the shell gave them:
// paths keep their local encoding, texts stay bytes until the string
// command checks them.
ParsedCommandLine parseCommandLine(const QList<QByteArray> &arguments);

// A few lines for standard error after a usage error.
QString usageText();
// The whole help, for standard output.
QString helpText();
