// A dropped file's text in the text area without holding up the window.
// The text area lays out a line (a block) whole, in time that grows with its
// length, and with its square where nothing in it may be broken (digits, a
// long key): a megabyte on one line froze the window for minutes. Inserting
// a block costs too: a megabyte of short lines took seconds at once.
#pragma once

#include <QString>

class QPlainTextEdit;

namespace shown {

// No line is shown longer than this, no stretch without a place to break it
// longer than kLongestRun; ordinary text has neither, and is shown as it is.
constexpr int kLongestLine = 8 * 1024;
constexpr int kLongestRun = 1024;

// The text goes in in pieces, one per turn of the event loop: whole lines
// of at most about kPieceCharacters characters and kPieceLines lines, a
// longer line in parts of kPieceCharacters (it is shown broken anyway).
constexpr int kPieceCharacters = 32 * 1024;
constexpr int kPieceLines = 2048;

// Replaces the text of `area` with `text`, lines broken for display where
// they are too long (*broken tells whether any was): the first piece at
// once, the others one per turn of the event loop, which keeps running
// meanwhile. Returns once all of it is there, true; false when cut short
// (the text area destroyed, the application quitting).
bool fillTextArea(QPlainTextEdit *area, const QString &text, bool *broken);

} // namespace shown
