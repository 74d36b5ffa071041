// The form's file and string operations, under the selected algorithm.
#include "Form.h"

#include "BackgroundWork.h"
#include "FileProgress.h"
#include "PluginApi.h"
#include "format/ActionLogLines.h"
#include "jobs/FileJob.h"
#include "strings/StringCrypt.h"
#include "transform/FileCrypt.h"

#include <QElapsedTimer>

#include <memory>

using namespace vaultine;

namespace {

void showLog(const QString &line)
{
    ShowLogFunc(line);
}

} // namespace

int Form::encryptFile(const QString &inputPath, const QString &outputPath)
{
    const jobs::FileJob job(Direction::Encrypt, inputPath, outputPath, selectedAlgorithmIsAes());
    return runFileJob(job, OutputLine::Left) == filecrypt::Outcome::Done ? 0 : -1;
}

int Form::decryptFile(const QString &inputPath, const QString &outputPath)
{
    const jobs::FileJob job(Direction::Decrypt, inputPath, outputPath, selectedAlgorithmIsAes());
    return runFileJob(job, OutputLine::Left) == filecrypt::Outcome::Done ? 0 : -1;
}

filecrypt::Outcome Form::runFileJob(const jobs::FileJob &job, OutputLine outputLine)
{
    QPointer<Form> self(this);
    const Work previous = work;
    if (previous == Work::None)
        work = Work::File;

    BackgroundWork background(this);
    QString lastLine;
    background.onLine = [&lastLine](const QString &line) {
        lastLine = line;
        showLog(line);
    };
    QElapsedTimer took;
    took.start();
    // A file on its own shows its progress; within other work, that work's.
    std::unique_ptr<FileProgress> progress;
    if (previous == Work::None)
        progress =
            std::make_unique<FileProgress>(this, job.direction(), job.input(), [&background] { background.cancel(); });
    background.onProgress = [&progress](qint64 done, qint64 total) {
        if (progress)
            progress->update(done, total);
    };
    const filecrypt::Control control{background.logger(), background.cancelFlag(), background.progressReporter()};
    filecrypt::Outcome outcome = filecrypt::Outcome::Failed;
    const bool whole =
        background.run([&] { outcome = outputLine == OutputLine::Logged ? job.run(control) : job.transform(control); });
    // Told while its progress dialog is still up: the dialog is the active
    // window of a user who watched the work end.
    if (whole && previous == Work::None) {
        const QString summary =
            outcome == filecrypt::Outcome::Done ? actionlines::outputLine(job.direction(), job.output()) : lastLine;
        ShowNoticeFunc(summary, took.elapsed());
    }
    progress.reset();
    if (self)
        work = previous;
    return outcome;
}

bool Form::isFileEncrypted(const QString &path)
{
    return filecrypt::isFileEncrypted(path);
}

int Form::encryptString(QString &text)
{
    stringcrypt::encryptString(text, selectedAlgorithmIsAes(), showLog);
    return 0;
}

int Form::decryptString(QString &text)
{
    stringcrypt::decryptString(text, selectedAlgorithmIsAes(), showLog);
    return 0;
}

// A large tree takes a while to walk: on the working thread too.
void Form::collectFiles(const QString &folderPath)
{
    QPointer<Form> self(this);
    BackgroundWork background(this);
    background.onLine = showLog;
    const LogFn log = background.logger();
    FolderListing listing;
    background.run([&] { listing = walkFolder(folderPath, log, background.cancelFlag()); });
    if (!self)
        return;
    walked = std::move(listing);
    for (const QString &path : qAsConst(walked.paths))
        fileList.append(path);
}
