#include "FolderWalk.h"

#include "ActionLogLines.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <dirent.h>
#include <sys/stat.h>

namespace {

bool isSameOrAncestor(const QString &candidate, const QString &folder)
{
    if (candidate == folder)
        return true;
    const QString prefix = candidate.endsWith(QLatin1Char('/')) ? candidate : candidate + QLatin1Char('/');
    return folder.startsWith(prefix);
}

// What a rewrite killed at the wrong moment leaves beside a file.
bool isLeftoverTemporary(const QByteArray &name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.keystrel-[A-Za-z0-9]{6}$"));
    return pattern.match(QString::fromLatin1(name)).hasMatch();
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
        struct stat info;
        if (::stat(QFile::encodeName(realRoot).constData(), &info) != 0)
            return false;
        listing.root = realRoot;
        listing.folders.push_back(WalkedFolder{-1, QByteArray(), info.st_dev, info.st_ino});
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
        struct stat file;
        if (folder < 0 || ::stat(QFile::encodeName(real).constData(), &file) != 0)
            return false;
        listing.files.push_back(
            WalkedFile{folder, QFile::encodeName(info.fileName()), file.st_dev, file.st_ino, qint64(file.st_size)});
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
        struct stat info;
        if (parent < 0 || ::lstat(QFile::encodeName(real).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return -1;
        listing.folders.push_back(
            WalkedFolder{parent, QFile::encodeName(real.mid(slash + 1)), info.st_dev, info.st_ino});
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
        DIR *dir = ::opendir(QFile::encodeName(folderPath).constData());
        if (!dir)
            return;
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray raw(entry->d_name);
            const QString shown = folderPath + QLatin1Char('/') + QFile::decodeName(raw);
            if (isLeftoverTemporary(raw))
                log(actionlines::kLeftoverTemporary + shown);
            else if (!raw.startsWith('.') && QFile::encodeName(QFile::decodeName(raw)) != raw)
                unreachable(shown);
        }
        ::closedir(dir);
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
