#include "FolderJob.h"

#include "format/ActionLogLines.h"
#include "format/NativePath.h"
#include "transform/FileCrypt.h"

namespace vaultine {

namespace jobs {

FolderJob::FolderJob(const QString &folderPath, const FolderListing &listing, Asked asked, bool cipherActive)
    : m_folderPath(folderPath)
    , m_listing(listing)
    , m_asked(asked)
    , m_cipherActive(cipherActive)
{
}

bool FolderJob::start(const LogFn &log)
{
    if (m_listing.isEmpty()) {
        log(actionlines::kFolderHoldsNoFile + nativePath(m_folderPath));
        return false;
    }
    m_direction = directionFor(m_asked, filecrypt::isFileEncrypted(m_listing.paths.first()));
    log(actionlines::kStart[m_direction]);
    return true;
}

BatchSummary FolderJob::run(const BatchEngine::Hooks &hooks) const
{
    BatchSummary summary = BatchEngine(m_listing, m_direction, m_cipherActive, hooks).run();
    // What the walk could not reach was not done either.
    summary.failed += m_listing.unreachable.size();
    summary.failedPaths = m_listing.unreachable + summary.failedPaths;
    if (hooks.log) {
        // Just before the summary, which stays the batch's last word.
        if (m_listing.hidden > 0)
            hooks.log(hiddenEntriesLine(m_listing));
        hooks.log(batchSummaryLine(m_direction, summary));
    }
    return summary;
}

QString hiddenEntriesLine(const FolderListing &listing)
{
    using namespace actionlines;
    QStringList names;
    for (const QString &name : listing.hiddenNamed)
        names << nativePath(name);
    QString named = names.join(kFailedFileSeparator);
    if (listing.hidden > listing.hiddenNamed.size())
        named += kMoreHidden;
    return kHiddenLeft.arg(listing.hidden).arg(named);
}

QString batchSummaryLine(Direction direction, const BatchSummary &summary)
{
    using namespace actionlines;
    QString line =
        summary.left > 0
            ? kBatchCancelled[direction].arg(summary.done).arg(summary.skipped).arg(summary.failed).arg(summary.left)
            : kBatchDone[direction].arg(summary.done).arg(summary.skipped).arg(summary.failed);
    const auto name = [&line](const QString &label, const QStringList &paths) {
        constexpr int kNamed = 20;
        if (paths.isEmpty())
            return;
        QStringList named;
        for (const QString &path : paths.mid(0, kNamed))
            named << nativePath(path);
        line += label + named.join(kFailedFileSeparator);
        if (paths.size() > kNamed)
            line += kMoreFailedFiles.arg(paths.size() - kNamed);
    };
    name(kFailedFilesNamed, summary.failedPaths);
    name(kLeftoversNamed, summary.leftovers);
    return line;
}

} // namespace jobs

} // namespace vaultine
