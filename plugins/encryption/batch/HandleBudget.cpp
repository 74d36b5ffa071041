#include "HandleBudget.h"

#include "filesystem/OpenFileLimit.h"

#include <QtGlobal>

namespace vaultine {

namespace {

// What a batch asks the system for.
constexpr long kWantedOpenFiles = 4096;
// Kept for Qt and the program where the limit leaves room (its windows,
// fonts and log may open files at any time), and beyond the handles counted
// where it does not (a file read for its mode, a log file).
constexpr long kKeptAmple = 200;
constexpr long kKeptLow = 6;
constexpr long kMostSpareFolders = 64;
constexpr int kMostGroupFiles = 256;
// Handles a file holds over its way: overlapping groups (read, replacement,
// in two groups at once, and read again while its folder is flushed and
// closed late), or one group at a time.
constexpr long kPerFileOverlapped = 6;
constexpr long kPerFileAlone = 2;
// With a group ahead, up to this many a file.
constexpr long kPerFileWithGroupAhead = 8;
// Below this limit the batch shares it out instead of overlapping groups.
constexpr long kAmpleOpenFiles = kKeptAmple + kMostSpareFolders + kPerFileOverlapped;

} // namespace

HandleBudget HandleBudget::now()
{
    const long limit = raiseOpenFileLimit(kWantedOpenFiles);
    // Counted only where it matters: it looks at every possible handle.
    return HandleBudget(limit, limit < kAmpleOpenFiles ? openHandleCount(limit) : 0);
}

HandleBudget::HandleBudget(long limit, long inUse)
{
    if (limit >= kAmpleOpenFiles) {
        m_spareFolders = std::size_t(kMostSpareFolders);
        const long groupFiles = (limit - kKeptAmple - kMostSpareFolders) / kPerFileOverlapped;
        m_groupFiles = int(qBound<long>(1, groupFiles, kMostGroupFiles));
        m_groupAhead = limit >= kKeptAmple + kMostSpareFolders + kPerFileWithGroupAhead * long(m_groupFiles);
        return;
    }
    // A low limit that cannot be raised: a quarter for spare folders, the
    // rest for the files of one group.
    const long free = qMax<long>(4, limit - inUse - kKeptLow);
    m_spareFolders = std::size_t(qBound<long>(1, free / 4, kMostSpareFolders));
    m_groupFiles = int(qBound<long>(1, (free - long(m_spareFolders)) / kPerFileAlone, kMostGroupFiles));
    m_overlaps = false;
}

} // namespace vaultine
