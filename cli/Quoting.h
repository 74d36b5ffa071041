// File names in the command line's output, one to a line: a name cannot
// forge a line, hide behind terminal controls or be mistaken for another.
#pragma once

#include <QByteArray>

namespace quoting {

// The name as it is when it holds nothing unusual. Otherwise it is written
// as git writes paths (with core.quotePath off): between double quotes,
// with \a \b \t \n \v \f \r \" and \\, and three octal digits (\ooo) for
// every other control byte (C0, DEL, and the bytes of C1 controls) and for
// every byte that is not part of well-formed UTF-8. An unquoted name never
// starts with a double quote, so each form reads back one way only.
QByteArray quotedName(const QByteArray &name);

// A log line for people: the same escapes without the quotes, so that a
// name cannot break the line or drive the terminal.
QByteArray escapedLine(const QByteArray &line);

} // namespace quoting
