// The encryption plug-in's widget: a warning, a text area, the algorithm
// selector and four buttons. Files and folders dropped on it are encrypted or
// decrypted in place.
#pragma once

#include "batch/FolderWalk.h"
#include "format/Direction.h"

#include <QString>
#include <QVector>
#include <QWidget>

namespace Ui {
class Form;
}
namespace vaultine {
namespace filecrypt {
enum class Outcome;
}
namespace jobs {
enum class Asked;
class FileJob;
} // namespace jobs
} // namespace vaultine

class QDragEnterEvent;
class QDropEvent;
class QIODevice;
class QPlainTextEdit;

class Form : public QWidget
{
    Q_OBJECT

public:
    explicit Form(QWidget *parent = nullptr);
    ~Form() override;
    Q_DISABLE_COPY(Form)

    // Transform `length` bytes in place with the selected algorithm; the
    // buffer holds the length rounded up to whole blocks. Always 0.
    int encryptBuffer(unsigned char *data, int length);
    int decryptBuffer(unsigned char *data, int length);

    // Files: 0 when the new content is on disk, -1 otherwise. The work runs
    // on a thread of its own while the event loop keeps turning; a file that
    // takes long shows its progress and can be cancelled.
    int encryptFile(const QString &inputPath, const QString &outputPath);
    int decryptFile(const QString &inputPath, const QString &outputPath);
    bool isFileEncrypted(const QString &path);

    // Strings: plaintext <-> lower-case hexadecimal ciphertext. Always 0.
    int encryptString(QString &text);
    int decryptString(QString &text);

    // Appends every regular file under `folderPath` to the file list.
    void collectFiles(const QString &folderPath);
    const QVector<QString> &collectedFiles() const { return fileList; }

public slots:
    void clickEncryptButton(bool click);
    void clickDecryptButton(bool click);
    void clickEncryptFileButton(bool click);
    void clickDecryptFileButton(bool click);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class Work { None, File, Batch };

    bool selectedAlgorithmIsAes() const;
    // Runs `job` on a thread of its own while the event loop turns, its
    // progress shown when it takes long; `reportOutput`: with its output line.
    // Whether the job's "…已输出到:" line is logged after its operation's own.
    enum class OutputLine { Logged, Left };
    vaultine::filecrypt::Outcome runFileJob(const vaultine::jobs::FileJob &job, OutputLine outputLine);
    // The file buttons: a file chosen in a dialog, rewritten in place.
    void rewriteChosenFile(vaultine::Direction direction);

    QPlainTextEdit *textArea() const;
    // Drops: a file is toggled, a folder runs one batch; with a direction
    // asked for (on the command line) files already in that state are
    // skipped, and so are the files of a folder.
    void dropFile(const QString &path, vaultine::jobs::Asked asked);
    void dropFolder(const QString &folderPath, vaultine::jobs::Asked asked);
    // False when the form was closed or the application quits meanwhile.
    bool showFileText(QIODevice &file, const QString &path);
    // True (and logged) when long work runs and `what` must wait.
    bool refusedWhileBusy(const QString &what);

    Ui::Form *ui;
    QVector<QString> fileList;
    Work work = Work::None;
    // The folder of the file chosen last in the file dialog.
    QString lastDialogFolder;
    // Where the files of the last walk really are, for the batch.
    vaultine::FolderListing walked;
};
