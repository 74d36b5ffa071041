#include "LogPane.h"

#include "LogHub.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

LogPane::LogPane(QWidget *parent)
    : QWidget(parent)
    , m_view(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("logPane"));

    auto *title = new QLabel(tr("日志"), this);
    auto *copyButton = new QPushButton(tr("复制日志"), this);
    copyButton->setObjectName(QStringLiteral("copyLogButton"));
    auto *clearButton = new QPushButton(tr("清空日志"), this);
    clearButton->setObjectName(QStringLiteral("clearLogButton"));

    auto *header = new QHBoxLayout;
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(copyButton);
    header->addWidget(clearButton);

    m_view->setObjectName(QStringLiteral("logView"));
    m_view->setReadOnly(true);
    m_view->setMaximumBlockCount(kMaxLines);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setUndoRedoEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(header);
    layout->addWidget(m_view, 1);

    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &LogPane::flush);
    connect(copyButton, &QPushButton::clicked, this, &LogPane::copyAll);
    connect(clearButton, &QPushButton::clicked, this, &LogPane::clear);
    m_sinceFlush.start();
}

LogPane::~LogPane()
{
    LogHub::detachPane(this);
}

void LogPane::appendLine(const QString &line)
{
    m_pending.append(line);
    if (m_pending.size() > kMaxLines)
        m_pending.removeFirst();
    if (!m_flushTimer.isActive()) {
        // A lone line shows at the next turn of the event loop; a stream of
        // them at the pace of the interval.
        const qint64 wait = kFlushIntervalMs - m_sinceFlush.elapsed();
        m_flushTimer.start(static_cast<int>(qBound<qint64>(0, wait, kFlushIntervalMs)));
    }
}

void LogPane::flush()
{
    m_flushTimer.stop();
    m_sinceFlush.restart();
    if (m_pending.isEmpty())
        return;
    m_view->appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
}

void LogPane::clear()
{
    m_flushTimer.stop();
    m_pending.clear();
    m_view->clear();
}

void LogPane::copyAll()
{
    flush();
    QGuiApplication::clipboard()->setText(m_view->toPlainText());
}
