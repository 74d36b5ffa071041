#include "LogRecord.h"

#include <QIODevice>

void LogRecord::append(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    if (m_pieces.empty() || m_pieces.back().bytes.size() + bytes.size() + 1 > kPieceBytes) {
        m_pieces.emplace_back();
        m_pieces.back().bytes.reserve(kPieceBytes);
    }
    Piece &piece = m_pieces.back();
    piece.bytes += bytes;
    piece.bytes += '\n';
    ++piece.lines;
    ++m_lines;
    m_bytes += bytes.size() + 1;
    while (m_bytes > kMaxBytes && m_pieces.size() > 1) {
        const Piece &oldest = m_pieces.front();
        m_bytes -= oldest.bytes.size();
        m_lines -= oldest.lines;
        m_dropped += oldest.lines;
        m_pieces.pop_front();
    }
}

void LogRecord::clear()
{
    m_pieces.clear();
    m_bytes = 0;
    m_lines = 0;
    m_dropped = 0;
}

bool LogRecord::writeTo(QIODevice &out) const
{
    for (const Piece &piece : m_pieces) {
        if (out.write(piece.bytes) != piece.bytes.size())
            return false;
    }
    return true;
}
