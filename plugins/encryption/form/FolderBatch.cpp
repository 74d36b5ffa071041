#include "FolderBatch.h"

#include "BackgroundWork.h"
#include "Form.h"
#include "PluginApi.h"
#include "format/ActionLogLines.h"
#include "jobs/FolderJob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressDialog>

using namespace vaultine;

using namespace actionlines;

namespace {

constexpr qint64 kShowNamesEveryMs = 100;

} // namespace

FolderBatch::FolderBatch(Form *form, QPlainTextEdit *textArea, const QString &folderPath, const FolderListing &listing,
                         bool cipherActive, jobs::Asked asked)
    : form(form)
    , textArea(textArea)
    , folderPath(folderPath)
    , listing(listing)
    , cipherActive(cipherActive)
    , asked(asked)
{
}

void FolderBatch::run()
{
    jobs::FolderJob job(folderPath, listing, asked, cipherActive);
    QElapsedTimer took;
    took.start();
    if (!job.start(ShowLogFunc))
        return;

    // On the heap: the form owns it and may be destroyed while events run.
    QPointer<QProgressDialog> dialog =
        new QProgressDialog(kProgress[job.direction()], kCancel, 0, listing.paths.size(), form);
    dialog->setWindowTitle(kProgressTitle);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();

    BackgroundWork background(form);
    background.onLine = [](const QString &line) { ShowLogFunc(line); };
    QObject::connect(dialog, &QProgressDialog::canceled, &background, [&background] { background.cancel(); });
    // Each file once it is in place (or skipped), before the next one is:
    // listed, counted, and then the event loop turns once, so a cancel seen
    // here stops the batch right after this file. The text area takes the
    // names in bunches: laying out one line at a time would cost more than
    // the files themselves.
    QStringList unshown;
    QElapsedTimer sinceShown;
    sinceShown.start();
    auto showNames = [&] {
        if (textArea && !unshown.isEmpty())
            textArea->appendPlainText(unshown.join(QLatin1Char('\n')));
        unshown.clear();
        sinceShown.restart();
    };
    background.onQuestion = [&](int index) {
        unshown << listing.paths.at(index);
        if (sinceShown.elapsed() >= kShowNamesEveryMs)
            showNames();
        if (dialog)
            dialog->setValue(index + 1);
        if (form)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        return form && dialog && !dialog->wasCanceled();
    };

    BatchEngine::Hooks hooks;
    hooks.log = background.logger();
    hooks.settled = [&background](int index) { return background.ask(index); };
    hooks.cancel = background.cancelFlag();
    // The summary line comes with the batch's own lines.
    BatchSummary summary;
    const bool whole = background.run([&] { summary = job.run(hooks); });
    showNames();
    // Told while the progress dialog is still up: it is the active window of
    // a user who watched the batch end.
    if (whole)
        ShowNoticeFunc(jobs::batchSummaryLine(job.direction(), summary), took.elapsed());
    delete dialog.data();
}
