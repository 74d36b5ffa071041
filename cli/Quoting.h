// File names in the command line's output, one to a line: a name cannot
// forge a line, hide behind terminal controls or be mistaken for another.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace quoting {

// How a system's users paste a name back into its shell.
enum class Style {
    // The name as it is when it holds nothing unusual. Otherwise it is
    // written as git writes paths (with core.quotePath off): between double
    // quotes, with \a \b \t \n \v \f \r \" and \\, and three octal digits
    // (\ooo) for every other control byte (C0, DEL, and the bytes of C1
    // controls) and for every byte that is not part of well-formed UTF-8. An
    // unquoted name never starts with a double quote, so each form reads
    // back one way only.
    Posix,
    // Backslashes stay single, as Windows paths have them. A name with a
    // space or a character that cmd.exe or PowerShell would take for its
    // own (& ( ) [ ] { } ^ = ; ! ' + , ` ~ % $ @ #) goes between double
    // quotes, which no Windows name can hold. A byte that cannot be shown
    // (a control, or not UTF-8; Windows names have none) is written as ?,
    // which no Windows name holds either.
    Windows,
};

// This system's (QuotingStyle_unix.cpp, QuotingStyle_win.cpp).
Style systemStyle();

QByteArray quotedName(const QByteArray &name, Style style = systemStyle());

// A log line for people: the same escapes without the quotes, so that a
// name cannot break the line or drive the terminal.
QByteArray escapedLine(const QByteArray &line);

} // namespace quoting
