#include "StatusCommand.h"

#include "Console.h"
#include "EachPath.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "Quoting.h"
#include "batch/FolderWalk.h"
#include "filesystem/RegularFile.h"
#include "format/ActionLogLines.h"
#include "format/NativePath.h"
#include "transform/FileCrypt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace vaultine;

using namespace actionlines;

namespace {

// A file found in a folder, spelled from the folder as the user named it:
// "status ." lists "./a.txt", not the absolute path.
QString folderRelative(const QString &folderArgument, const QString &folderAbsolute, const QString &found)
{
    const QString prefix =
        folderAbsolute.endsWith(QLatin1Char('/')) ? folderAbsolute : folderAbsolute + QLatin1Char('/');
    if (!found.startsWith(prefix))
        return found;
    QString base = folderArgument;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base != QLatin1String("/"))
        base += QLatin1Char('/');
    return base + found.mid(prefix.size());
}

// As the user reads and pastes it: on Windows with the system's
// separators, "status C:\work" lists "C:\work\a.txt".
QString shownPath(const QString &folderArgument, const QString &folderAbsolute, const QString &found)
{
    return QDir::toNativeSeparators(folderRelative(QDir::fromNativeSeparators(folderArgument), folderAbsolute, found));
}

class StatusRun
{
public:
    StatusRun(bool nulSeparated, Console &console)
        : m_nulSeparated(nulSeparated)
        , m_console(console)
    {
    }

    int run(const QStringList &paths)
    {
        return forEachPath(
            paths, [this](const QString &path) { reportFolder(path); },
            [this](const QString &path) { reportFile(path, QDir::toNativeSeparators(path)); }, m_failed);
    }

private:
    void reportFile(const QString &path, const QString &shown)
    {
        QFile file;
        if (!openRegularFileForReading(file, path)) {
            const QFileInfo info(path);
            m_console.log((info.isFile() ? kUnreadableFile : kNotRegularFile) + shown);
            m_failed = true;
            return;
        }
        file.close();
        const QByteArray state = filecrypt::isFileEncrypted(path) ? "encrypted\t" : "plain\t";
        const QByteArray name = QFile::encodeName(shown);
        if (m_nulSeparated)
            m_console.result(state + name + '\0');
        else
            m_console.result(state + quoting::quotedName(name) + '\n');
    }

    void reportFolder(const QString &folder)
    {
        // The list goes to standard output; of the walk's lines only those
        // about what it could not list go to standard error.
        const FolderListing listing = walkFolder(
            folder,
            [this](const QString &line) {
                if (!line.startsWith(kDirFound) && !line.startsWith(kFileFound))
                    m_console.log(line);
            },
            interrupt::flag());
        if (listing.cancelled)
            return;
        if (!listing.unreachable.isEmpty())
            m_failed = true;
        // A copy, possibly plain, beside files listed as encrypted.
        for (const WalkedLeftover &leftover : listing.leftovers) {
            m_console.log(kLeftoverFound + nativePath(leftover.path));
            m_failed = true;
        }
        if (listing.isEmpty())
            m_console.log(kFolderHoldsNoFile + nativePath(folder));
        const QString absolute = QFileInfo(folder).absoluteFilePath();
        for (const QString &path : listing.paths) {
            if (interrupt::requested())
                return;
            reportFile(path, shownPath(folder, absolute, path));
        }
    }

    const bool m_nulSeparated;
    Console &m_console;
    bool m_failed = false;
};

} // namespace

int runStatusCommand(const QStringList &paths, bool nulSeparated, Console &console)
{
    return StatusRun(nulSeparated, console).run(paths);
}
