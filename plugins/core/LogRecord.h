// The whole log of a run, behind the pane that shows only its newest lines:
// every line kept, up to a bound far beyond any folder batch's (a line of
// every file of a million-file batch fits), so that a failure seen early in
// a long batch can still be saved and read. Held as UTF-8 in large pieces:
// a line costs its bytes and no more.
#pragma once

#include <QByteArray>
#include <QString>

#include <deque>

class QIODevice;

class LogRecord
{
public:
    // Past this, the oldest piece goes.
    static constexpr qint64 kMaxBytes = qint64(128) << 20;
    static constexpr int kPieceBytes = 1 << 20;

    void append(const QString &line);
    void clear();

    qint64 keptLines() const { return m_lines; }
    // Lines gone past the bound since the last clear.
    qint64 droppedLines() const { return m_dropped; }

    // Every kept line, each ended by '\n'. False when the device refused a
    // write.
    bool writeTo(QIODevice &out) const;

private:
    struct Piece
    {
        QByteArray bytes; // lines, each ended by '\n'
        qint64 lines = 0;
    };

    std::deque<Piece> m_pieces;
    qint64 m_bytes = 0;
    qint64 m_lines = 0;
    qint64 m_dropped = 0;
};
