// The folder walk of a dropped folder: subfolders first, each walked at once,
// then the folder's own files, names in case-sensitive order, hidden entries
// left out.
#include "form/Form.h"

#include "ActionLogLines.h"
#include "PluginApi.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

bool isSameOrAncestor(const QString &candidate, const QString &folder)
{
    if (candidate == folder)
        return true;
    const QString prefix = candidate.endsWith(QLatin1Char('/')) ? candidate : candidate + QLatin1Char('/');
    return folder.startsWith(prefix);
}

// Links to folders are followed, but every real folder is walked once and a
// link back to an ancestor is never entered: a link cycle cannot recurse
// forever, and a link upwards cannot drag the folders above into the batch.
class FolderWalk
{
public:
    explicit FolderWalk(QVector<QString> &files)
        : files(files)
    {
    }

    void walk(const QString &folderPath, const QString &realPath)
    {
        walked.insert(realPath);
        QDir dir(folderPath);
        dir.setFilter(QDir::Dirs | QDir::Files);
        dir.setSorting(QDir::Name | QDir::DirsFirst);
        const QFileInfoList entries = dir.entryInfoList(QDir::NoFilter, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const QString path = entry.absoluteFilePath();
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
            }
        }
    }

private:
    QVector<QString> &files;
    QSet<QString> walked;
};

} // namespace

void Form::collectFiles(const QString &folderPath)
{
    const QFileInfo folder(folderPath);
    const QString real = folder.canonicalFilePath();
    if (real.isEmpty() || !folder.isDir())
        return;
    FolderWalk(fileList).walk(folder.absoluteFilePath(), real);
}
