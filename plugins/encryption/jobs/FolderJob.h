// One folder batch as a user asks for it, by a drop on the form and by the
// command line alike: after the walk, the line for a folder without files
// or the direction (chosen by the first file when toggled) and its start
// line; then the batch, the hidden entries it left (if any) and its summary
// line.
#pragma once

#include "LogFn.h"
#include "batch/BatchEngine.h"
#include "batch/FolderWalk.h"
#include "jobs/FileJob.h"

#include <QString>

namespace vaultine {

namespace jobs {

class FolderJob
{
public:
    // `listing` is the walk of `folderPath`; both must outlive the job.
    FolderJob(const QString &folderPath, const FolderListing &listing, Asked asked, bool cipherActive);

    // "文件夹中没有文件：" and false when the walk found no file; otherwise
    // "开始加密" or "开始解密".
    bool start(const LogFn &log);
    // Once started.
    Direction direction() const { return m_direction; }

    // The batch, then the hidden-entries line and the summary through
    // `hooks.log`. Free of widgets: runs
    // on any thread.
    BatchSummary run(const BatchEngine::Hooks &hooks) const;

private:
    const QString m_folderPath;
    const FolderListing &m_listing;
    const Asked m_asked;
    const bool m_cipherActive;
    Direction m_direction = Direction::Encrypt;
};

// "批量加密完成：…" or, when files were left, "批量加密已取消：…", with the
// first failed files named, then the first leftovers that stay.
QString batchSummaryLine(Direction direction, const BatchSummary &summary);
// "隐藏的文件和文件夹未处理：…", for a walk that met hidden entries.
QString hiddenEntriesLine(const FolderListing &listing);

} // namespace jobs

} // namespace vaultine
