#include "FolderWalk.h"

#include "filesystem/Folder.h"
#include "filesystem/TemporaryName.h"
#include "format/ActionLogLines.h"
#include "format/NativePath.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace vaultine {

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

    bool start(const QString &shown, const QString &realRoot)
    {
        shownRoot = shown;
        FileState root;
        if (!stateAtPath(realRoot, FollowLinks::Yes, &root))
            return false;
        listing.root = realRoot;
        listing.folders.push_back(WalkedFolder{-1, QString(), root.identity});
        folderIndex.insert(realRoot, 0);
        return true;
    }

    // Depth first without recursion: a frame per folder being listed, so
    // that a deep tree costs no stack and a cancel is seen between entries.
    void walk(const QString &folderPath, const QString &realPath, const std::atomic<bool> *cancel)
    {
        std::vector<Frame> frames;
        enter(folderPath, realPath, &frames);
        while (!frames.empty()) {
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                listing.cancelled = true;
                return;
            }
            Frame &frame = frames.back();
            if (frame.next >= frame.entries.size()) {
                frames.pop_back();
                continue;
            }
            const QFileInfo entry = frame.entries.at(frame.next++);
            const QString real = frame.realPath; // the frame may move below
            visit(entry, real, &frames);
        }
    }

private:
    struct Frame
    {
        QString realPath;
        QFileInfoList entries;
        int next = 0;
    };

    void enter(const QString &folderPath, const QString &realPath, std::vector<Frame> *frames)
    {
        walked.insert(realPath);
        if (!QDir(folderPath).isReadable()) {
            unreachable(folderPath);
            return;
        }
        reportOddEntries(folderPath, realPath);
        QDir dir(folderPath);
        dir.setFilter(QDir::Dirs | QDir::Files);
        dir.setSorting(QDir::Name | QDir::DirsFirst);
        frames->push_back(Frame{realPath, dir.entryInfoList(QDir::NoFilter, QDir::NoSort), 0});
    }

    // Only a link is resolved: any other entry's real path is its folder's
    // and its name, which keeps the walk's cost to its entries.
    void visit(const QFileInfo &entry, const QString &realPath, std::vector<Frame> *frames)
    {
        const QString name = entry.fileName();
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            return;
        const QString path = entry.absoluteFilePath();
        // A junction is no symbolic link to Qt, but may lead anywhere.
        const bool link = entry.isSymLink() || entry.isJunction();
        const QString linked = link ? entry.canonicalFilePath() : QString();
        if (link && !isSameOrAncestor(listing.root, linked)) {
            log(actionlines::kLinkLeadsOutside + nativePath(path));
            return;
        }
        const QString real = link ? linked : realPath + QLatin1Char('/') + name;
        if (entry.isFile()) {
            if (!record(real)) {
                unreachable(path);
                return;
            }
            log(actionlines::kFileFound + nativePath(path));
            listing.paths.append(path);
        } else if (entry.isDir()) {
            if (real.isEmpty() || walked.contains(real) || isSameOrAncestor(real, realPath)) {
                log(actionlines::kFolderWalkedAlready + nativePath(path));
                return;
            }
            log(actionlines::kDirFound + nativePath(path));
            enter(path, real, frames);
        } else if (!link && !entry.exists()) {
            // Listed but not reachable by its path: a name in another
            // encoding, or a path past the system's length limit.
            unreachable(path);
        }
    }

    // Left as they are, as always, but counted and the first few named, so
    // that nobody takes a plaintext ".env" for encrypted.
    void hidden(const QString &folderPath, const QString &name)
    {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            return;
        if (++listing.hidden > FolderListing::kHiddenNamed)
            return;
        const QString within = folderPath.mid(shownRoot.size() + (shownRoot.endsWith(QLatin1Char('/')) ? 0 : 1));
        listing.hiddenNamed << (within.isEmpty() ? name : within + QLatin1Char('/') + name);
    }

    void unreachable(const QString &path)
    {
        listing.unreachable << path;
        log(actionlines::kEntryUnreachable + nativePath(path));
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
    // Hidden leftovers of an interrupted rewrite are recorded for the batch.
    void reportOddEntries(const QString &folderPath, const QString &realPath)
    {
        std::vector<ListedName> names;
        if (!listNames(folderPath, &names))
            return;
        QStringList hiddenNames;
        for (const ListedName &listed : names) {
            const QString shown = folderPath + QLatin1Char('/') + listed.name;
            if (temporaryname::isTemporary(listed.name))
                listing.leftovers.push_back(WalkedLeftover{indexOfFolder(realPath), listed.name, shown});
            else if (listed.name.startsWith(QLatin1Char('.')))
                hiddenNames << listed.name;
            else if (!listed.faithful)
                unreachable(shown);
        }
        hiddenNames.sort();
        for (const QString &name : qAsConst(hiddenNames))
            hidden(folderPath, name);
    }

    FolderListing &listing;
    const LogFn &log;
    QString shownRoot; // the dropped folder as its entries are shown
    QSet<QString> walked;
    QHash<QString, int> folderIndex;
};

} // namespace

FolderListing walkFolder(const QString &folderPath, const LogFn &log, const std::atomic<bool> *cancel)
{
    FolderListing listing;
    const QFileInfo folder(folderPath);
    const QString real = folder.canonicalFilePath();
    if (real.isEmpty() || !folder.isDir())
        return listing;
    Walker walker(listing, log);
    if (walker.start(folder.absoluteFilePath(), real))
        walker.walk(folder.absoluteFilePath(), real, cancel);
    return listing;
}

} // namespace vaultine
