// One folder batch: the collected files handled in one direction, chosen by
// the first file, under a window-modal progress dialog that can cancel it.
#pragma once

#include <QPointer>
#include <QString>
#include <QVector>

class Form;
class QPlainTextEdit;

class FolderBatch
{
public:
    FolderBatch(Form *form, QPlainTextEdit *textArea, const QVector<QString> &files);

    // Pumps events once after each file: the form may be gone on return.
    void run();

private:
    enum class Outcome { Done, Skipped, Failed };

    Outcome handle(const QString &path);
    void logSummary(bool cancelled) const;

    QPointer<Form> form;
    QPlainTextEdit *textArea;
    const QVector<QString> files; // a copy: the form's list may go with it
    bool decrypting = false;
    int done = 0;
    int skipped = 0;
    int failed = 0;
};
