#include "ProgramFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <mutex>
#include <set>
#include <utility>

namespace vaultine {

namespace programfiles {
namespace {

using Key = std::pair<quint64, quint64>;

std::mutex g_lock;
std::set<Key> g_files;

// Programs of Keystrel that may sit beside one another.
const char *const kPrograms[] = {"Keystrel", "Keystrel.exe", "keystrel-cli", "keystrel-cli.exe", "Uninstall.exe"};
// Folders beside the executable whose every file belongs to it.
const char *const kFolders[] = {"Plugin", "platforms"};

bool isLibraryName(const QString &name)
{
    return name.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive) || name.endsWith(QLatin1String(".so"))
           || name.contains(QLatin1String(".so.")) || name.endsWith(QLatin1String(".dylib"));
}

void note(const QString &path, std::set<Key> &files)
{
    FileState state;
    if (stateAtPath(path, FollowLinks::Yes, &state) && state.kind == FileKind::Regular)
        files.insert(Key(state.identity.volume, state.identity.file));
}

void noteFolder(const QString &folder, std::set<Key> &files)
{
    if (!QFileInfo(folder).isDir())
        return;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        note(it.next(), files);
}

} // namespace

void protect(const QString &executable)
{
    std::set<Key> files;
    if (!executable.isEmpty()) {
        note(executable, files);
        const QDir beside = QFileInfo(executable).absoluteDir();
        for (const QFileInfo &entry : beside.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QString name = entry.fileName();
            bool program = false;
            for (const char *known : kPrograms)
                program = program || name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
            if (program || isLibraryName(name))
                note(entry.absoluteFilePath(), files);
        }
        for (const char *folder : kFolders)
            noteFolder(beside.filePath(QLatin1String(folder)), files);
        for (const QString &folder : installedFolders(beside.path()))
            noteFolder(folder, files);
    }
    std::lock_guard<std::mutex> lock(g_lock);
    g_files.swap(files);
}

bool isProgramFile(const FileIdentity &identity)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_files.count(Key(identity.volume, identity.file)) != 0;
}

int count()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return int(g_files.size());
}

} // namespace programfiles

} // namespace vaultine
