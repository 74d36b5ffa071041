// Read-only view of the log under the plug-in tabs, with clear and copy.
//
// Appending to a text view costs a relayout per call, whatever the number of
// lines, so lines are gathered and shown in one go at most every
// kFlushIntervalMs: a folder batch that logs thousands of lines is not slowed
// down by its own log.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QPlainTextEdit;

class LogPane : public QWidget
{
    Q_OBJECT

public:
    // Older lines are dropped beyond this.
    static constexpr int kMaxLines = 5000;
    static constexpr int kFlushIntervalMs = 100;

    explicit LogPane(QWidget *parent = nullptr);
    ~LogPane() override;
    Q_DISABLE_COPY(LogPane)

    void appendLine(const QString &line);

public slots:
    // Shows the lines gathered so far at once.
    void flush();
    void clear();
    void copyAll();

private:
    QPlainTextEdit *m_view;
    QStringList m_pending;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
};
