// A log line as people read it, in the window and in a saved log: a file
// name that holds a line break or a terminal control cannot start a line of
// its own (and pass for one the program wrote) or drive the terminal.
#pragma once

#include <QString>

namespace logtext {

// `line` unchanged when it holds no control character. Otherwise each is
// written as keystrel-cli writes it: \a \b \t \n \v \f \r, and three octal
// digits (\ooo) for each byte of every other C0 control, DEL and the C1
// controls in UTF-8; the line and paragraph separators (U+2028, U+2029),
// which a text view breaks lines at, the same way.
QString shown(const QString &line);

} // namespace logtext
