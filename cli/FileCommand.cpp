#include "FileCommand.h"

#include "Console.h"
#include "EachPath.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "batch/FolderWalk.h"
#include "format/ActionLogLines.h"
#include "jobs/FolderJob.h"

#include <QFileInfo>

using namespace vaultine;

using jobs::Asked;

namespace {

// "AES" is the only algorithm: the cipher is always on.
constexpr bool kCipherActive = true;

class FileRun
{
public:
    FileRun(Asked asked, Console &console)
        : m_asked(asked)
        , m_console(console)
    {
    }

    int run(const QStringList &paths)
    {
        return forEachPath(
            paths, [this](const QString &path) { handleFolder(path); },
            [this](const QString &path) { handleFile(path); }, m_failed);
    }

private:
    // A missing or unreadable path goes to the operation too, which says
    // what is wrong with it in the form's words.
    void handleFile(const QString &path)
    {
        const auto job = jobs::FileJob::forFile(m_asked, path, kCipherActive, m_console.logger());
        if (!job)
            return;
        ProgressLine &progress = m_console.progress();
        progress.start(actionlines::kProgress[job->direction()]);
        const filecrypt::Control control{m_console.logger(), interrupt::flag(),
                                         [&progress](qint64 done, qint64 total) { progress.fileBytes(done, total); }};
        const filecrypt::Outcome outcome = job->run(control);
        progress.clear();
        if (outcome == filecrypt::Outcome::Failed)
            m_failed = true;
    }

    void handleFolder(const QString &path)
    {
        const FolderListing listing = walkFolder(path, m_console.logger(), interrupt::flag());
        // A folder or name the walk could not reach was asked for and not done.
        if (!listing.unreachable.isEmpty() || listing.cancelled)
            m_failed = true;
        jobs::FolderJob job(path, listing, m_asked, kCipherActive);
        if (!job.start(m_console.logger()))
            return;

        ProgressLine &progress = m_console.progress();
        progress.start(actionlines::kProgress[job.direction()]);
        const int total = listing.paths.size();
        BatchEngine::Hooks hooks;
        hooks.log = m_console.logger();
        hooks.settled = [&progress, total](int index) {
            progress.filesDone(index + 1, total);
            return true; // Ctrl-C stops the batch through the cancel flag
        };
        hooks.cancel = interrupt::flag();
        hooks.fileProgress = [&progress](qint64 done, qint64 fileTotal) { progress.fileBytes(done, fileTotal); };
        const BatchSummary summary = job.run(hooks);
        progress.clear();
        // Skipped for any reason but being as asked already: not done.
        if (summary.failed > 0 || summary.skipped > summary.alreadyInState || !summary.leftovers.isEmpty())
            m_failed = true;
    }

    const Asked m_asked;
    Console &m_console;
    bool m_failed = false;
};

} // namespace

int runFileCommand(Asked asked, const QStringList &paths, Console &console)
{
    return FileRun(asked, console).run(paths);
}
