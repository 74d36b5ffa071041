// The walk of a dropped folder: subfolders first, each walked at once, then
// the folder's own files, names in case-sensitive order, hidden entries left
// out. Links are followed only while they stay inside the dropped folder,
// and every real folder is walked once, so a link cycle cannot recurse
// forever. Besides the paths as found, the walk records where each file
// really is and which file it was (device and inode), so that a batch can
// reach it later without following any link and notice a swap.
#pragma once

#include "LogSink.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <sys/types.h>
#include <vector>

struct WalkedFolder
{
    int parent = -1; // -1 for the dropped folder itself
    QByteArray name; // within the parent
    dev_t device = 0;
    ino_t inode = 0;
};

struct WalkedFile
{
    int folder = 0; // index into FolderListing::folders
    QByteArray name;
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0; // when walked
};

struct FolderListing
{
    QString root;                      // real path of the dropped folder
    std::vector<WalkedFolder> folders; // [0] is the dropped folder
    QVector<QString> paths;            // absolute paths as found, in walk order
    std::vector<WalkedFile> files;     // where each of them really is
    int unreachable = 0;               // entries logged as not reachable, hence not listed

    bool isEmpty() const { return paths.isEmpty(); }
};

// Logs "dir: " and "file: " lines as it goes, and why it passes over what it
// does not list. An unreadable or missing folder gives an empty listing.
FolderListing walkFolder(const QString &folderPath, const LogFn &log);
