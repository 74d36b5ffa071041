// One line of progress on a terminal's standard error, redrawn in place:
// bytes of a long file or files of a folder, and the rate. It shows only
// once work has lasted a moment, is redrawn a few times a second at most,
// and is erased before any log line is written below it.
#pragma once

#include "ConsoleText.h"

#include <QElapsedTimer>
#include <QString>

class ProgressLine
{
public:
    // Draws on `stream` only when it is a terminal and `enabled`.
    ProgressLine(consoletext::Stream stream, bool enabled);
    ~ProgressLine();
    Q_DISABLE_COPY(ProgressLine)

    bool isActive() const { return m_active; }

    // A new piece of work; `label` leads the line ("加密进度").
    void start(const QString &label);
    // Bytes of the file in hand.
    void fileBytes(qint64 done, qint64 total);
    // Files of a folder settled so far.
    void filesDone(int done, int total);
    // Erases the line if it is shown; the next update draws it again.
    void clear();

private:
    void draw();
    QString text() const;

    const consoletext::Stream m_stream;
    const bool m_active;
    bool m_shown = false;
    QElapsedTimer m_clock;
    qint64 m_drawnAt = -1;
    QString m_label;
    qint64 m_bytesDone = 0;
    qint64 m_bytesTotal = 0;
    int m_filesDone = 0;
    int m_filesTotal = -1; // -1 for a single file
};
