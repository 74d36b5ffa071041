#include "FolderBatch.h"

#include "ActionLogLines.h"
#include "PluginApi.h"
#include "RegularFile.h"
#include "form/Form.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressDialog>

using namespace actionlines;

FolderBatch::FolderBatch(Form *form, QPlainTextEdit *textArea, const QVector<QString> &files)
    : form(form)
    , textArea(textArea)
    , files(files)
{
}

void FolderBatch::run()
{
    if (files.isEmpty())
        return;
    decrypting = form->isFileEncrypted(files.first());
    ShowLogFunc(decrypting ? kStartDecrypt : kStartEncrypt);

    // On the heap: the form owns it and may be destroyed while events run.
    QPointer<QProgressDialog> dialog = new QProgressDialog(decrypting ? kDecryptProgress : kEncryptProgress,
                                                           kCancel, 0, files.size(), form);
    dialog->setWindowTitle(kProgressTitle);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();

    int handled = 0;
    for (const QString &path : files) {
        textArea->appendPlainText(path);
        switch (handle(path)) {
        case Outcome::Done: ++done; break;
        case Outcome::Skipped: ++skipped; break;
        case Outcome::Failed: ++failed; break;
        }
        ++handled;
        dialog->setValue(handled);
        if (form)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        // A closed form (and with it the dialog) ends the batch like a cancel.
        if (!form || !dialog || dialog->wasCanceled())
            break;
    }
    logSummary(handled < files.size());
    delete dialog.data();
}

FolderBatch::Outcome FolderBatch::handle(const QString &path)
{
    // The walk may be long past: the file may be gone, replaced or locked.
    if (!QFileInfo(path).isFile()) {
        ShowLogFunc(kNotRegularFile + path);
        return Outcome::Failed;
    }
    QFile probe;
    if (!openRegularFileForReading(probe, path)) {
        ShowLogFunc(kUnreadableFile + path);
        return Outcome::Failed;
    }
    probe.close();

    const bool encrypted = form->isFileEncrypted(path);
    if (!decrypting) {
        if (encrypted) {
            ShowLogFunc(kSkipPrefix + path + kAlreadyEncrypted);
            return Outcome::Skipped;
        }
        if (form->encryptFile(path, path) != 0)
            return Outcome::Failed;
        ShowLogFunc(kEncryptedOutput + path);
        return Outcome::Done;
    }
    if (!encrypted) {
        ShowLogFunc(kSkipPrefix + path + kAlreadyPlain);
        return Outcome::Skipped;
    }
    if (form->decryptFile(path, path) != 0)
        return Outcome::Failed;
    ShowLogFunc(kDecryptedOutput + path);
    return Outcome::Done;
}

void FolderBatch::logSummary(bool cancelled) const
{
    if (cancelled) {
        const int left = files.size() - done - skipped - failed;
        ShowLogFunc((decrypting ? kDecryptBatchCancelled : kEncryptBatchCancelled)
                        .arg(done)
                        .arg(skipped)
                        .arg(failed)
                        .arg(left));
    } else {
        ShowLogFunc((decrypting ? kDecryptBatchDone : kEncryptBatchDone).arg(done).arg(skipped).arg(failed));
    }
}
