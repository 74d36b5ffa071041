// Log lines on standard error, for diagnostics only. A program started from a
// desktop menu has its standard error written to the user's journal or to
// ~/.xsession-errors, on disk: so lines go there only when the environment
// asks for it (KEYSTREL_LOG_TO_STDERR=1), and even then never the lines that
// carry a text the user typed.
#pragma once

class QString;

namespace stderrmirror {

// True when KEYSTREL_LOG_TO_STDERR is "1"; read once, at the first call.
bool isOn();

// True for a line that only the window may show.
bool isWindowOnly(const QString &line);

// Writes `stamped` (the line with its time stamp) to standard error when
// the mirror is on and `line` may leave the window.
void write(const QString &line, const QString &stamped);

} // namespace stderrmirror
