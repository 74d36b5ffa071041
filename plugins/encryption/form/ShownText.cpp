#include "ShownText.h"

#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace shown {
namespace {

// Length of the line end at `i` as the text area sees one ("\r\n", "\n",
// "\r", the paragraph separator), or 0.
int lineEndAt(const QString &text, int i)
{
    const QChar c = text.at(i);
    if (c == QLatin1Char('\r'))
        return i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n') ? 2 : 1;
    return c == QLatin1Char('\n') || c == QChar::ParagraphSeparator ? 1 : 0;
}

// Appends (part of) one line, broken where it must be: between the places
// where the text area may break it, and within a stretch that has none.
void appendBroken(QString &out, const QString &line, bool *broken)
{
    if (line.size() <= kLongestRun) {
        out += line;
        return;
    }
    QTextBoundaryFinder places(QTextBoundaryFinder::Line, line);
    int lineLength = 0;
    for (int start = 0; start < line.size();) {
        int end = places.toNextBoundary();
        if (end < 0 || end > line.size())
            end = line.size();
        // Nowhere to break within [start, end) but where a break is put.
        for (int at = start; at < end;) {
            int chunkEnd = qMin(end, at + kLongestRun);
            if (chunkEnd < end && line.at(chunkEnd - 1).isHighSurrogate())
                --chunkEnd; // a character is never split
            const int length = chunkEnd - at;
            if (at > start || (lineLength > 0 && lineLength + length > kLongestLine)) {
                out += QLatin1Char('\n');
                lineLength = 0;
                *broken = true;
            }
            out += QStringView(line).mid(at, length);
            lineLength += length;
            at = chunkEnd;
        }
        start = end;
    }
}

// The text a piece at a time, as it is to be shown.
class Pieces
{
public:
    explicit Pieces(const QString &text)
        : m_text(text)
    {
    }

    bool done() const { return m_at >= m_text.size(); }

    QString next(bool *broken)
    {
        QString out;
        int lineStart = m_at;
        int lines = 0;
        for (int i = m_at; i < m_text.size(); ++i) {
            const int end = lineEndAt(m_text, i);
            if (end == 0) {
                if (i - lineStart < kPieceCharacters)
                    continue;
                // A line this long is shown broken: it is taken in parts.
                if (m_text.at(i - 1).isHighSurrogate())
                    --i;
                appendLine(out, lineStart, i, broken);
                m_inLine = true;
                m_at = i;
                return out;
            }
            appendLine(out, lineStart, i, broken);
            out += QStringView(m_text).mid(i, end);
            m_inLine = false;
            i += end - 1;
            lineStart = i + 1;
            if (++lines >= kPieceLines || lineStart - m_at >= kPieceCharacters) {
                m_at = lineStart;
                return out;
            }
        }
        appendLine(out, lineStart, m_text.size(), broken);
        m_at = m_text.size();
        return out;
    }

private:
    void appendLine(QString &out, int start, int end, bool *broken)
    {
        if (m_inLine && start == m_at && end > start) {
            out += QLatin1Char('\n'); // the rest of a line taken in parts
            *broken = true;
        }
        appendBroken(out, m_text.mid(start, end - start), broken);
    }

    const QString &m_text;
    int m_at = 0;
    bool m_inLine = false; // the last piece ended within a line
};

} // namespace

bool fillTextArea(QPlainTextEdit *area, const QString &text, bool *broken)
{
    *broken = false;
    Pieces pieces(text);
    area->setPlainText(pieces.next(broken));
    if (pieces.done())
        return true;

    // What setPlainText leaves behind: no undo steps, not modified.
    QPointer<QTextDocument> document(area->document());
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QEventLoop loop;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, &loop, [&] {
        if (!document)
            return loop.quit();
        QTextCursor end(document);
        end.movePosition(QTextCursor::End);
        end.insertText(pieces.next(broken));
        if (pieces.done())
            loop.quit();
    });
    QObject::connect(document, &QObject::destroyed, &loop, &QEventLoop::quit);
    turns.start();
    // Returns early when the application quits (which ends every loop).
    loop.exec();
    if (!document)
        return false;
    document->setUndoRedoEnabled(undo);
    document->setModified(false);
    return pieces.done();
}

} // namespace shown
