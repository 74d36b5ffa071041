// One folder batch as the form shows it: the walked files handled in one
// direction, chosen by the first file unless one is forced, on a thread of
// its own, under a window-modal progress dialog that can cancel it. The
// form's text area lists each file as it is settled, and the dialog counts
// it.
#pragma once

#include "batch/FolderWalk.h"
#include "jobs/FileJob.h"

#include <QPointer>

class Form;
class QPlainTextEdit;

class FolderBatch
{
public:
    FolderBatch(Form *form, QPlainTextEdit *textArea, const QString &folderPath, const vaultine::FolderListing &listing,
                bool cipherActive, vaultine::jobs::Asked asked = vaultine::jobs::Asked::Toggle);

    // Turns the event loop until the batch is over: the form may be gone on
    // return.
    void run();

private:
    QPointer<Form> form;
    QPointer<QPlainTextEdit> textArea;
    const QString folderPath;
    const vaultine::FolderListing listing; // a copy: the form's may go with it
    const bool cipherActive;
    const vaultine::jobs::Asked asked;
};
