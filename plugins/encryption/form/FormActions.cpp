// The four buttons: strings in the text area, and one file chosen in a dialog
// and rewritten in place.
#include "Form.h"

#include "DialogFilter.h"
#include "ui_Form.h"

#include "PluginApi.h"
#include "format/ActionLogLines.h"
#include "format/NativePath.h"
#include "jobs/FileJob.h"
#include "transform/Outcome.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

using namespace vaultine;

namespace {

// Where the file dialog opens: the folder of the file chosen last, else the
// user's documents, else home. Never the working folder: a Start-menu
// shortcut makes that the program's own, full of files that must not be
// rewritten.
QString dialogFolder(const QString &lastFolder)
{
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        return lastFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace

void Form::rewriteChosenFile(Direction direction)
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("选择文件"), dialogFolder(lastDialogFolder),
                                                      allFilesFilter());
    if (path.isEmpty())
        return; // cancelled
    lastDialogFolder = QFileInfo(path).absolutePath();
    // A typed name can name a FIFO or device, which would block the read.
    if (!QFileInfo(path).isFile()) {
        ShowLogFunc(actionlines::kNotRegularFile + nativePath(path));
        return;
    }
    runFileJob(jobs::FileJob(direction, path, selectedAlgorithmIsAes()), OutputLine::Logged);
}

QPlainTextEdit *Form::textArea() const
{
    return ui->plainTextEdit;
}

bool Form::refusedWhileBusy(const QString &what)
{
    if (work == Work::None)
        return false;
    ShowLogFunc((work == Work::Batch ? actionlines::kIgnoredDuringBatch : actionlines::kIgnoredDuringFile) + what);
    return true;
}

void Form::clickEncryptButton(bool click)
{
    Q_UNUSED(click)
    if (refusedWhileBusy(ui->encrypt_pushButton->text()))
        return;
    QString text = ui->plainTextEdit->toPlainText();
    encryptString(text);
    ui->plainTextEdit->setPlainText(text);
}

void Form::clickDecryptButton(bool click)
{
    Q_UNUSED(click)
    if (refusedWhileBusy(ui->decrypt_pushButton->text()))
        return;
    QString text = ui->plainTextEdit->toPlainText();
    decryptString(text);
    ui->plainTextEdit->setPlainText(text);
}

void Form::clickEncryptFileButton(bool click)
{
    Q_UNUSED(click)
    if (!refusedWhileBusy(ui->encryptfile_pushButton->text()))
        rewriteChosenFile(Direction::Encrypt);
}

void Form::clickDecryptFileButton(bool click)
{
    Q_UNUSED(click)
    if (!refusedWhileBusy(ui->decryptfile_pushButton->text()))
        rewriteChosenFile(Direction::Decrypt);
}
