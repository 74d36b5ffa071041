// Read-only view of the log under the plug-in tabs, with clear and copy.
//
// Appending to a text view costs a relayout per call, whatever the number of
// lines, so lines are gathered and shown in one go at most every
// kFlushIntervalMs: a folder batch that logs thousands of lines is not slowed
// down by its own log.
//
// The view holds the newest kMaxLines; the whole log stays behind it (see
// LogRecord.h): a note above the view says how many older lines it no longer
// shows, and the view's context menu saves the whole log to a file.
#pragma once

#include "LogRecord.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;

class LogPane : public QWidget
{
    Q_OBJECT

public:
    // Older lines leave the view beyond this.
    static constexpr int kMaxLines = 5000;
    static constexpr int kFlushIntervalMs = 100;

    explicit LogPane(QWidget *parent = nullptr);
    ~LogPane() override;
    Q_DISABLE_COPY(LogPane)

    // `shown` as the view shows it, `kept` as a saved log may hold it.
    void appendLine(const QString &shown, const QString &kept);

    const LogRecord &record() const { return m_record; }

public slots:
    // Shows the lines gathered so far at once.
    void flush();
    void clear();
    void copyAll();
    // Asks where, then saves the whole log there.
    void saveWithDialog();
    // The whole log into `path`, replacing what is there; says in the log
    // whether it worked. False when it did not.
    bool saveTo(const QString &path);

private:
    void showContextMenu(const QPoint &at);
    void updateDroppedNote();

    QPlainTextEdit *m_view;
    QLabel *m_droppedNote;
    QStringList m_pending;
    qint64 m_linesSinceClear = 0; // every line handed to the view
    LogRecord m_record;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
};
