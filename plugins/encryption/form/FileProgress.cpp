#include "FileProgress.h"

#include "format/ActionLogLines.h"

#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>

using namespace vaultine;

namespace {

// The bar counts in thousandths: byte counts do not fit its int.
constexpr int kSteps = 1000;

} // namespace

FileProgress::FileProgress(QWidget *parent, Direction direction, const QString &path, std::function<void()> cancel)
    : m_parent(parent)
    , m_direction(direction)
    , m_name(QFileInfo(path).fileName())
    , m_cancel(std::move(cancel))
{
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &FileProgress::show);
    m_delay.start(kShowAfterMs);
}

FileProgress::~FileProgress()
{
    delete m_dialog.data();
}

QString FileProgress::label() const
{
    const QLocale locale;
    return actionlines::kFileProgress[m_direction].arg(m_name, locale.formattedDataSize(m_done),
                                                       locale.formattedDataSize(m_total));
}

void FileProgress::show()
{
    if (!m_parent)
        return;
    auto *dialog = new QProgressDialog(label(), actionlines::kCancel, 0, kSteps, m_parent);
    dialog->setWindowTitle(actionlines::kProgressTitle);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    connect(dialog, &QProgressDialog::canceled, this, [this] {
        if (m_cancel)
            m_cancel();
    });
    m_dialog = dialog;
    dialog->show();
    update(m_done, m_total);
}

void FileProgress::update(qint64 done, qint64 total)
{
    m_done = done;
    m_total = total;
    if (!m_dialog)
        return;
    m_dialog->setLabelText(label());
    m_dialog->setValue(total > 0 ? int(done * kSteps / total) : 0);
}
