// The walk of a dropped folder: subfolders first, each walked at once, then
// the folder's own files, names in case-sensitive order, hidden entries left
// out. Links are followed only while they stay inside the dropped folder,
// and every real folder is walked once, so a link cycle cannot recurse
// forever. Besides the paths as found, the walk records where each file
// really is and which file it was (its identity), so that a batch can
// reach it later without following any link and notice a swap.
#pragma once

#include "LogFn.h"
#include "filesystem/FileState.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <vector>

namespace vaultine {

struct WalkedFolder
{
    int parent = -1; // -1 for the dropped folder itself
    QString name;    // within the parent
    FileIdentity identity;
};

struct WalkedFile
{
    int folderIndex = 0; // into FolderListing::folders
    QString name;
    FileIdentity identity;
    qint64 size = 0; // when walked
};

// A temporary file of an interrupted rewrite (filesystem/Leftover.h).
struct WalkedLeftover
{
    int folderIndex = 0;
    QString name;
    QString path; // as found
};

struct FolderListing
{
    QString root;                          // real path of the dropped folder
    std::vector<WalkedFolder> folders;     // [0] is the dropped folder
    QVector<QString> paths;                // absolute paths as found, in walk order
    std::vector<WalkedFile> files;         // where each of them really is
    QStringList unreachable;               // entries logged as not reachable, hence not listed
    std::vector<WalkedLeftover> leftovers; // for the batch to clear, or name
    int hidden = 0;                        // hidden entries of the walked folders, left alone
    QStringList hiddenNamed;               // the first of them, within the dropped folder
    bool cancelled = false;                // stopped before the walk was complete

    static constexpr int kHiddenNamed = 5;

    bool isEmpty() const { return paths.isEmpty(); }
};

// Logs "dir: " and "file: " lines as it goes, and why it passes over what it
// does not list. It changes nothing: leftovers of interrupted rewrites are
// only recorded. An unreadable or missing folder gives an empty listing.
// `cancel` stops the walk between two entries, with what it found so far.
FolderListing walkFolder(const QString &folderPath, const LogFn &log, const std::atomic<bool> *cancel = nullptr);

} // namespace vaultine
