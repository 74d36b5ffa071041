#include "ProgressLine.h"

#include <QByteArray>

namespace {

// Quick work shows nothing; longer work is redrawn this often at most.
constexpr qint64 kShowAfterMs = 400;
constexpr qint64 kRedrawEveryMs = 100;
// A file in a folder batch large enough to show its own bytes.
constexpr qint64 kLargeFileInBatch = qint64(16) << 20;

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB");
}

QString percent(qint64 done, qint64 total)
{
    return total > 0 ? QStringLiteral("（%1%）").arg(done * 100 / total) : QString();
}

// Terminal cells of a character: CJK and full-width forms take two.
int cellsOf(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
                   || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
                   || (u >= 0xFFE0 && u <= 0xFFE6)
               ? 2
               : 1;
}

// What fits in the terminal's width without wrapping: a wrapped line could
// not be redrawn in place.
QString fitted(const QString &text, consoletext::Stream stream)
{
    const int columns = consoletext::columns(stream);
    int cells = 0;
    for (int i = 0; i < text.size(); ++i) {
        cells += cellsOf(text.at(i));
        if (cells > columns - 1)
            return text.left(i);
    }
    return text;
}

} // namespace

ProgressLine::ProgressLine(consoletext::Stream stream, bool enabled)
    : m_stream(stream)
    , m_active(enabled && consoletext::isConsole(stream))
{
    m_clock.start();
}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::start(const QString &label)
{
    clear();
    m_label = label;
    m_bytesDone = m_bytesTotal = 0;
    m_filesDone = 0;
    m_filesTotal = -1;
    m_clock.restart();
    m_drawnAt = -1;
}

void ProgressLine::fileBytes(qint64 done, qint64 total)
{
    m_bytesDone = done;
    m_bytesTotal = total;
    draw();
}

void ProgressLine::filesDone(int done, int total)
{
    m_filesDone = done;
    m_filesTotal = total;
    m_bytesDone = m_bytesTotal = 0;
    draw();
}

void ProgressLine::clear()
{
    if (!m_shown)
        return;
    consoletext::write(m_stream, QByteArrayLiteral("\r\033[K"));
    m_shown = false;
}

void ProgressLine::draw()
{
    if (!m_active)
        return;
    const qint64 now = m_clock.elapsed();
    if (now < kShowAfterMs || (m_shown && m_drawnAt >= 0 && now - m_drawnAt < kRedrawEveryMs))
        return;
    m_drawnAt = now;
    consoletext::write(m_stream, "\r" + fitted(text(), m_stream).toUtf8() + "\033[K");
    m_shown = true;
}

QString ProgressLine::text() const
{
    const double seconds = qMax<qint64>(m_clock.elapsed(), 1) / 1000.0;
    if (m_filesTotal < 0) {
        return m_label + QStringLiteral("：") + mebibytes(m_bytesDone) + QStringLiteral(" / ") + mebibytes(m_bytesTotal)
               + percent(m_bytesDone, m_bytesTotal) + QStringLiteral("，")
               + mebibytes(qint64(double(m_bytesDone) / seconds)) + QStringLiteral("/s");
    }
    QString line = m_label + QStringLiteral("：%1 / %2 个文件").arg(m_filesDone).arg(m_filesTotal)
                   + percent(m_filesDone, m_filesTotal)
                   + QStringLiteral("，%1 个/秒").arg(QString::number(double(m_filesDone) / seconds, 'f', 0));
    if (m_bytesTotal >= kLargeFileInBatch)
        line +=
            QStringLiteral("，当前文件 ") + mebibytes(m_bytesDone) + QStringLiteral(" / ") + mebibytes(m_bytesTotal);
    return line;
}
