// Files and folders dropped on the form: a file is toggled by its header and
// its text shown, a folder runs one batch. Paths from the command line may
// come with a direction: then each goes that way or is skipped.
#include "Form.h"

#include "FolderBatch.h"
#include "PluginApi.h"
#include "ShownText.h"
#include "WindowCloseWatch.h"
#include "filesystem/RegularFile.h"
#include "format/ActionLogLines.h"
#include "format/NativePath.h"
#include "jobs/FileJob.h"
#include "transform/Outcome.h"

#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QUrl>

using namespace vaultine;

using namespace actionlines;

namespace {

// More text than this makes the text area crawl; a file of gigabytes would
// not fit in memory as text at all.
constexpr int kShownTextLimit = 1024 * 1024;

// The text area shows the file's lines broken where one is too long to lay
// out in time: the text there differs from the file's.
const QString kShownLinesBroken = QStringLiteral("文件中有过长的行，文本区显示时在其中插入了换行：");

// Length of `bytes` without a UTF-8 sequence cut short at its end.
int completeUtf8Length(const QByteArray &bytes)
{
    const int size = bytes.size();
    int lead = size - 1;
    while (lead >= 0 && size - lead < 4 && (uchar(bytes[lead]) & 0xC0) == 0x80)
        --lead;
    if (lead < 0)
        return size;
    const uchar first = uchar(bytes[lead]);
    const int needed = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return size - lead < needed ? lead : size;
}

// The direction a drop asks for (a plain drop toggles); false when it names
// one this form does not know, which is never taken for a plain drop.
bool requestedDirection(const QMimeData &mime, jobs::Asked *asked)
{
    const QString format = QLatin1String(pluginapi::kDropDirectionFormat);
    *asked = jobs::Asked::Toggle;
    if (!mime.hasFormat(format))
        return true;
    const QByteArray word = mime.data(format);
    if (word == "encrypt")
        *asked = jobs::Asked::Encrypt;
    else if (word == "decrypt")
        *asked = jobs::Asked::Decrypt;
    return *asked != jobs::Asked::Toggle;
}

} // namespace

void Form::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (work != Work::None) {
        for (const QUrl &url : urls)
            refusedWhileBusy(url.isLocalFile() ? url.toLocalFile() : url.toString());
        return;
    }
    jobs::Asked asked = jobs::Asked::Toggle;
    if (!requestedDirection(*event->mimeData(), &asked)) {
        for (const QUrl &url : urls)
            ShowLogFunc(kUnknownDropDirection + (url.isLocalFile() ? url.toLocalFile() : url.toString()));
        return;
    }
    QPointer<Form> self(this);
    const WindowCloseWatch closing(this);
    for (const QUrl &url : urls) {
        if (closing.closed())
            return; // the window closed during the drop: the rest is not started
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (info.isFile())
            dropFile(path, asked);
        else if (info.isDir())
            dropFolder(path, asked);
        if (!self)
            return; // closed while a batch ran
    }
}

void Form::dropFile(const QString &path, jobs::Asked asked)
{
    QFile file;
    if (!openRegularFileForReading(file, path))
        return; // unreadable: left alone without a word
    QPointer<Form> self(this);
    // By its header; a file already as asked is skipped with a line.
    const std::optional<jobs::FileJob> job = jobs::FileJob::forFile(asked, path, selectedAlgorithmIsAes(), ShowLogFunc);
    if (!job)
        return;
    if (job->direction() == Direction::Decrypt) {
        file.close();
        const filecrypt::Outcome outcome = runFileJob(*job, OutputLine::Left);
        if (!self)
            return; // closed while the file was in hand
        // Shows what the file holds now, also when decryption failed.
        QFile decrypted;
        if (openRegularFileForReading(decrypted, path))
            showFileText(decrypted, path);
        job->reportOutput(outcome, ShowLogFunc);
    } else {
        if (!showFileText(file, path))
            return; // closed or quitting while the text went in: the file is left as it was
        // Closed first: an open handle can keep the file from being replaced.
        file.close();
        runFileJob(*job, OutputLine::Logged);
    }
}

bool Form::showFileText(QIODevice &file, const QString &path)
{
    QByteArray bytes = file.read(qint64(kShownTextLimit) + 1);
    bool cut = bytes.size() > kShownTextLimit;
    if (cut)
        bytes.truncate(kShownTextLimit);
    // The text ends at the first zero byte, as Qt turns bytes into a string.
    const int zero = bytes.indexOf('\0');
    if (zero >= 0) {
        bytes.truncate(zero);
        cut = false;
    } else if (cut) {
        bytes.truncate(completeUtf8Length(bytes));
    }
    const QString text = QString::fromUtf8(bytes);
    bytes.clear();
    // The text goes in while the loop turns: a drop or a click meanwhile is
    // refused as during the file's own work.
    QPointer<Form> self(this);
    const Work previous = work;
    if (previous == Work::None)
        work = Work::File;
    bool broken = false;
    const bool whole = shown::fillTextArea(textArea(), text, &broken);
    if (!self)
        return false;
    work = previous;
    if (cut)
        ShowLogFunc(kShownTextCut + nativePath(path));
    if (broken)
        ShowLogFunc(kShownLinesBroken + nativePath(path));
    return whole;
}

void Form::dropFolder(const QString &folderPath, jobs::Asked asked)
{
    textArea()->clear();
    fileList.clear();
    QPointer<Form> self(this);
    work = Work::Batch; // from the walk on: it lets events through too
    const WindowCloseWatch closing(this);
    collectFiles(folderPath);
    if (!self)
        return;
    if (closing.closed()) {
        work = Work::None; // the walk was stopped: no batch on what it found
        return;
    }
    FolderBatch(this, textArea(), folderPath, walked, selectedAlgorithmIsAes(), asked).run();
    if (self)
        work = Work::None;
}
