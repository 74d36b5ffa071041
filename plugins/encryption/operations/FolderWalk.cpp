// The folder walk of a dropped folder: subfolders first, each walked at once,
// then the folder's own files, names in case-sensitive order, hidden entries
// left out.
#include "form/Form.h"

#include "ActionLogLines.h"
#include "PluginApi.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <dirent.h>

namespace {

bool isSameOrAncestor(const QString &candidate, const QString &folder)
{
    if (candidate == folder)
        return true;
    const QString prefix = candidate.endsWith(QLatin1Char('/')) ? candidate : candidate + QLatin1Char('/');
    return folder.startsWith(prefix);
}

// Links are followed only while they stay inside the dropped folder: a batch
// changes nothing that was not dropped. Every real folder is walked once and
// a link back to an ancestor is never entered, so a link cycle cannot recurse
// forever.
class FolderWalk
{
public:
    FolderWalk(QVector<QString> &files, const QString &realRoot)
        : files(files)
        , realRoot(realRoot)
    {
    }

    void walk(const QString &folderPath, const QString &realPath)
    {
        walked.insert(realPath);
        if (!QDir(folderPath).isReadable()) {
            ShowLogFunc(actionlines::kEntryUnreachable + folderPath);
            return;
        }
        reportUnnamableEntries(folderPath);
        QDir dir(folderPath);
        dir.setFilter(QDir::Dirs | QDir::Files);
        dir.setSorting(QDir::Name | QDir::DirsFirst);
        const QFileInfoList entries = dir.entryInfoList(QDir::NoFilter, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const QString path = entry.absoluteFilePath();
            if (entry.isSymLink() && !isSameOrAncestor(realRoot, entry.canonicalFilePath())) {
                ShowLogFunc(actionlines::kLinkLeadsOutside + path);
                continue;
            }
            if (entry.isFile()) {
                ShowLogFunc(actionlines::kFileFound + path);
                files.append(path);
            } else if (entry.isDir()) {
                const QString real = entry.canonicalFilePath();
                if (real.isEmpty() || walked.contains(real) || isSameOrAncestor(real, realPath)) {
                    ShowLogFunc(actionlines::kFolderWalkedAlready + path);
                    continue;
                }
                ShowLogFunc(actionlines::kDirFound + path);
                walk(path, real);
            } else if (!entry.isSymLink() && !entry.exists()) {
                // Listed but not reachable by its path: a name in another
                // encoding, or a path past the system's length limit.
                ShowLogFunc(actionlines::kEntryUnreachable + path);
            }
        }
    }

private:
    // Qt leaves out names that are not valid in the local encoding (files
    // brought from other systems); they are reported, never silently lost.
    static void reportUnnamableEntries(const QString &folderPath)
    {
        DIR *dir = ::opendir(QFile::encodeName(folderPath).constData());
        if (!dir)
            return;
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray raw(entry->d_name);
            if (raw.startsWith('.'))
                continue;
            if (QFile::encodeName(QFile::decodeName(raw)) != raw)
                ShowLogFunc(actionlines::kEntryUnreachable + folderPath + QLatin1Char('/') + QFile::decodeName(raw));
        }
        ::closedir(dir);
    }

    QVector<QString> &files;
    const QString realRoot;
    QSet<QString> walked;
};

} // namespace

void Form::collectFiles(const QString &folderPath)
{
    const QFileInfo folder(folderPath);
    const QString real = folder.canonicalFilePath();
    if (real.isEmpty() || !folder.isDir())
        return;
    FolderWalk(fileList, real).walk(folder.absoluteFilePath(), real);
}
