#include "FolderWalk.h"

#include "filesystem/Folder.h"
#include "filesystem/TemporaryName.h"
#include "format/ActionLogLines.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

bool isSameOrAncestor(const QString &candidate, const QString &folder)
{
    if (candidate == folder)
        return true;
    const QString prefix = candidate.endsWith(QLatin1Char('/')) ? candidate : candidate + QLatin1Char('/');
    return folder.startsWith(prefix);
}

class Walker
{
public:
    Walker(FolderListing &listing, const LogFn &log)
        : listing(listing)
        , log(log)
    {
    }

    bool start(const QString &realRoot)
    {
        FileState root;
        if (!stateAtPath(realRoot, FollowLinks::Yes, &root))
            return false;
        listing.root = realRoot;
        listing.folders.push_back(WalkedFolder{-1, QString(), root.identity});
        folderIndex.insert(realRoot, 0);
        return true;
    }

    void walk(const QString &folderPath, const QString &realPath)
    {
        walked.insert(realPath);
        if (!QDir(folderPath).isReadable()) {
            unreachable(folderPath);
            return;
        }
        reportOddEntries(folderPath);
        QDir dir(folderPath);
        dir.setFilter(QDir::Dirs | QDir::Files);
        dir.setSorting(QDir::Name | QDir::DirsFirst);
        const QFileInfoList entries = dir.entryInfoList(QDir::NoFilter, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const QString path = entry.absoluteFilePath();
            if (entry.isSymLink() && !isSameOrAncestor(listing.root, entry.canonicalFilePath())) {
                log(actionlines::kLinkLeadsOutside + path);
                continue;
            }
            if (entry.isFile()) {
                const QString real = entry.isSymLink() ? entry.canonicalFilePath() : realPath + QLatin1Char('/') + name;
                if (!record(real)) {
                    unreachable(path);
                    continue;
                }
                log(actionlines::kFileFound + path);
                listing.paths.append(path);
            } else if (entry.isDir()) {
                const QString real = entry.canonicalFilePath();
                // A junction is no symbolic link to Qt, but may lead anywhere.
                if (!real.isEmpty() && !isSameOrAncestor(listing.root, real)) {
                    log(actionlines::kLinkLeadsOutside + path);
                    continue;
                }
                if (real.isEmpty() || walked.contains(real) || isSameOrAncestor(real, realPath)) {
                    log(actionlines::kFolderWalkedAlready + path);
                    continue;
                }
                log(actionlines::kDirFound + path);
                walk(path, real);
            } else if (!entry.isSymLink() && !entry.exists()) {
                // Listed but not reachable by its path: a name in another
                // encoding, or a path past the system's length limit.
                unreachable(path);
            }
        }
    }

private:
    void unreachable(const QString &path)
    {
        ++listing.unreachable;
        log(actionlines::kEntryUnreachable + path);
    }

    // Where the file at `real` lives and which file it is.
    bool record(const QString &real)
    {
        const QFileInfo info(real);
        const int folder = indexOfFolder(info.absolutePath());
        FileState file;
        if (folder < 0 || !stateAtPath(real, FollowLinks::Yes, &file))
            return false;
        listing.files.push_back(WalkedFile{folder, info.fileName(), file.identity, file.size});
        return true;
    }

    // The folder at `real` (inside the dropped folder), recorded with every
    // folder on the way to it.
    int indexOfFolder(const QString &real)
    {
        const auto known = folderIndex.constFind(real);
        if (known != folderIndex.constEnd())
            return known.value();
        const int slash = real.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0 || !isSameOrAncestor(listing.root, real))
            return -1;
        const int parent = indexOfFolder(real.left(slash));
        FileState info;
        if (parent < 0 || !stateAtPath(real, FollowLinks::No, &info) || info.kind != FileKind::Folder)
            return -1;
        listing.folders.push_back(WalkedFolder{parent, real.mid(slash + 1), info.identity});
        const int index = int(listing.folders.size()) - 1;
        folderIndex.insert(real, index);
        return index;
    }

    // Qt leaves out names that are not valid in the local encoding (files
    // brought from other systems): they are reported, never silently lost.
    // Hidden leftovers of an interrupted rewrite are named too, so that the
    // user can delete them.
    void reportOddEntries(const QString &folderPath)
    {
        std::vector<ListedName> names;
        if (!listNames(folderPath, &names))
            return;
        for (const ListedName &listed : names) {
            const QString shown = folderPath + QLatin1Char('/') + listed.name;
            if (temporaryname::isTemporary(listed.name))
                log(actionlines::kLeftoverTemporary + shown);
            else if (!listed.name.startsWith(QLatin1Char('.')) && !listed.faithful)
                unreachable(shown);
        }
    }

    FolderListing &listing;
    const LogFn &log;
    QSet<QString> walked;
    QHash<QString, int> folderIndex;
};

} // namespace

FolderListing walkFolder(const QString &folderPath, const LogFn &log)
{
    FolderListing listing;
    const QFileInfo folder(folderPath);
    const QString real = folder.canonicalFilePath();
    if (real.isEmpty() || !folder.isDir())
        return listing;
    Walker walker(listing, log);
    if (walker.start(real))
        walker.walk(folder.absoluteFilePath(), real);
    return listing;
}
