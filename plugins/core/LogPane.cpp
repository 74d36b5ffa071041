#include "LogPane.h"

#include "LogHub.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

// Where the save dialog starts: the user's documents, else home.
QString saveFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

} // namespace

LogPane::LogPane(QWidget *parent)
    : QWidget(parent)
    , m_view(new QPlainTextEdit(this))
    , m_droppedNote(new QLabel(this))
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

    m_droppedNote->setObjectName(QStringLiteral("logDroppedNote"));
    m_droppedNote->setWordWrap(true);
    m_droppedNote->hide();

    m_view->setObjectName(QStringLiteral("logView"));
    m_view->setReadOnly(true);
    m_view->setMaximumBlockCount(kMaxLines);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setUndoRedoEnabled(false);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(header);
    layout->addWidget(m_droppedNote);
    layout->addWidget(m_view, 1);

    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &LogPane::flush);
    connect(copyButton, &QPushButton::clicked, this, &LogPane::copyAll);
    connect(clearButton, &QPushButton::clicked, this, &LogPane::clear);
    connect(m_view, &QWidget::customContextMenuRequested, this, &LogPane::showContextMenu);
    m_sinceFlush.start();
}

LogPane::~LogPane()
{
    loghub::detachPane(this);
}

void LogPane::appendLine(const QString &shown, const QString &kept)
{
    m_record.append(kept);
    ++m_linesSinceClear;
    m_pending.append(shown);
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
    updateDroppedNote();
}

void LogPane::updateDroppedNote()
{
    const qint64 dropped = m_linesSinceClear - kMaxLines;
    if (dropped <= 0) {
        m_droppedNote->hide();
        return;
    }
    m_droppedNote->setText(tr("日志过长，窗口中已省略较早的%1行（右键“保存日志…”可保存全部日志）").arg(dropped));
    m_droppedNote->show();
}

void LogPane::clear()
{
    m_flushTimer.stop();
    m_pending.clear();
    m_view->clear();
    m_record.clear();
    m_linesSinceClear = 0;
    updateDroppedNote();
}

void LogPane::copyAll()
{
    flush();
    QGuiApplication::clipboard()->setText(m_view->toPlainText());
}

void LogPane::showContextMenu(const QPoint &at)
{
    QMenu *menu = m_view->createStandardContextMenu(at);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction *save = menu->addAction(tr("保存日志…"), this, &LogPane::saveWithDialog);
    save->setObjectName(QStringLiteral("saveLogAction"));
    menu->popup(m_view->viewport()->mapToGlobal(at));
}

void LogPane::saveWithDialog()
{
    const QString name = QStringLiteral("Keystrel-日志-%1.txt")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QFileDialog::getSaveFileName(this, tr("保存日志"), QDir(saveFolder()).filePath(name),
                                                      tr("文本文件 (*.txt);;所有文件 (*)"));
    if (!path.isEmpty())
        saveTo(path);
}

bool LogPane::saveTo(const QString &path)
{
    flush();
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok && m_record.droppedLines() > 0) {
        const QByteArray note = tr("日志过长，已省略较早的%1行").arg(m_record.droppedLines()).toUtf8() + '\n';
        ok = file.write(note) == note.size();
    }
    ok = ok && m_record.writeTo(file) && file.commit();
    const QString shownPath = QDir::toNativeSeparators(path);
    if (ok)
        loghub::write(tr("日志已保存到：") + shownPath);
    else
        loghub::write(tr("无法保存日志：") + shownPath + QStringLiteral("（") + file.errorString()
                      + QStringLiteral("）"));
    return ok;
}
