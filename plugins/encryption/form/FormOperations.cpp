// The form's file and string operations, under the selected algorithm.
#include "Form.h"

#include "BackgroundWork.h"
#include "FileProgress.h"
#include "PluginApi.h"
#include "operations/FileCrypt.h"
#include "operations/StringCrypt.h"

#include <memory>

namespace {

void showLog(const QString &line)
{
    ShowLogFunc(line);
}

} // namespace

int Form::encryptFile(const QString &inputPath, const QString &outputPath)
{
    return transformFile(false, inputPath, outputPath);
}

int Form::decryptFile(const QString &inputPath, const QString &outputPath)
{
    return transformFile(true, inputPath, outputPath);
}

int Form::transformFile(bool decrypting, const QString &inputPath, const QString &outputPath)
{
    const filecrypt::Direction direction = decrypting ? filecrypt::Direction::Decrypt : filecrypt::Direction::Encrypt;
    const bool cipherActive = selectedAlgorithmIsAes();
    QPointer<Form> self(this);
    const Work previous = work;
    if (previous == Work::None)
        work = Work::File;

    BackgroundWork background(this);
    background.onLine = showLog;
    // A file on its own shows its progress; within other work, that work's.
    std::unique_ptr<FileProgress> progress;
    if (previous == Work::None)
        progress = std::make_unique<FileProgress>(this, decrypting, inputPath, [&background] { background.cancel(); });
    background.onProgress = [&progress](qint64 done, qint64 total) {
        if (progress)
            progress->update(done, total);
    };
    const filecrypt::Control control{background.logger(), background.cancelFlag(), background.progressReporter()};
    filecrypt::Outcome outcome = filecrypt::Outcome::Failed;
    background.run(
        [&] { outcome = filecrypt::transformFile(direction, inputPath, outputPath, cipherActive, control); });
    progress.reset();
    if (self)
        work = previous;
    return outcome == filecrypt::Outcome::Done ? 0 : -1;
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
    background.run([&] { listing = walkFolder(folderPath, log); });
    if (!self)
        return;
    walked = std::move(listing);
    for (const QString &path : qAsConst(walked.paths))
        fileList.append(path);
}
