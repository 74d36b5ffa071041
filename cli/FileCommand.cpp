#include "FileCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "operations/ActionLogLines.h"
#include "operations/BatchEngine.h"
#include "operations/FileCrypt.h"
#include "operations/FolderWalk.h"
#include "operations/RegularFile.h"

#include <QFile>
#include <QFileInfo>

using namespace actionlines;
using filecrypt::Direction;

namespace {

// "AES" is the only algorithm: the cipher is always on.
constexpr bool kCipherActive = true;

class FileRun
{
public:
    FileRun(FileMode mode, Console &console)
        : m_mode(mode)
        , m_console(console)
    {
    }

    int run(const QStringList &paths)
    {
        for (const QString &path : paths) {
            if (interrupt::requested())
                break;
            if (QFileInfo(path).isDir())
                handleFolder(path);
            else
                handleFile(path);
        }
        if (interrupt::requested())
            return exitstatus::kInterrupted;
        return m_failed ? exitstatus::kFailed : exitstatus::kDone;
    }

private:
    Direction asked(bool encrypted) const
    {
        if (m_mode == FileMode::Toggle)
            return encrypted ? Direction::Decrypt : Direction::Encrypt;
        return m_mode == FileMode::Encrypt ? Direction::Encrypt : Direction::Decrypt;
    }

    static const QString &progressLabel(Direction direction)
    {
        return direction == Direction::Encrypt ? kEncryptProgress : kDecryptProgress;
    }

    static bool isReadable(const QString &path)
    {
        QFile file;
        return openRegularFileForReading(file, path);
    }

    // A missing or unreadable path goes to the operation too, which says
    // what is wrong with it in the form's words.
    void handleFile(const QString &path)
    {
        const bool encrypted = filecrypt::isFileEncrypted(path);
        const Direction direction = asked(encrypted);
        if (m_mode != FileMode::Toggle && encrypted == (direction == Direction::Encrypt)
            && (encrypted || isReadable(path))) {
            m_console.log(kSkipPrefix + path + (encrypted ? kAlreadyEncrypted : kAlreadyPlain));
            return;
        }
        ProgressLine &progress = m_console.progress();
        progress.start(progressLabel(direction));
        const filecrypt::Control control{m_console.logger(), interrupt::flag(),
                                         [&progress](qint64 done, qint64 total) { progress.fileBytes(done, total); }};
        const filecrypt::Outcome outcome = filecrypt::transformFile(direction, path, path, kCipherActive, control);
        progress.clear();
        if (outcome == filecrypt::Outcome::Done)
            m_console.log((direction == Direction::Encrypt ? kEncryptedOutput : kDecryptedOutput) + path);
        else if (outcome == filecrypt::Outcome::Failed)
            m_failed = true;
    }

    void handleFolder(const QString &path)
    {
        const FolderListing listing = walkFolder(path, m_console.logger());
        // A folder or name the walk could not reach was asked for and not done.
        if (listing.unreachable > 0)
            m_failed = true;
        if (listing.isEmpty()) {
            m_console.log(kFolderHoldsNoFile + path);
            return;
        }
        const Direction direction = asked(filecrypt::isFileEncrypted(listing.paths.first()));
        m_console.log(direction == Direction::Encrypt ? kStartEncrypt : kStartDecrypt);

        ProgressLine &progress = m_console.progress();
        progress.start(progressLabel(direction));
        const int total = listing.paths.size();
        BatchEngine::Hooks hooks;
        hooks.log = m_console.logger();
        hooks.settled = [&progress, total](int index) {
            progress.filesDone(index + 1, total);
            return true; // Ctrl-C stops the batch through the cancel flag
        };
        hooks.cancel = interrupt::flag();
        hooks.fileProgress = [&progress](qint64 done, qint64 fileTotal) { progress.fileBytes(done, fileTotal); };
        const BatchSummary summary = BatchEngine(listing, direction, kCipherActive, hooks).run();
        progress.clear();
        m_console.log(batchSummaryLine(direction, summary));
        // Skipped for any reason but being as asked already: not done.
        if (summary.failed > 0 || summary.skipped > summary.alreadyInState)
            m_failed = true;
    }

    const FileMode m_mode;
    Console &m_console;
    bool m_failed = false;
};

} // namespace

int runFileCommand(FileMode mode, const QStringList &paths, Console &console)
{
    return FileRun(mode, console).run(paths);
}
