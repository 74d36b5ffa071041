// The file engine on Windows' own file semantics, as far as Wine has them:
// hard links and read-only files left alone, attributes and creation time
// kept, a file another program holds unshared left unchanged, links out of
// a dropped folder not followed, long paths and names outside any code page,
// folders named with the long prefix, and what an interrupted rewrite
// leaves behind. A file others hold without sharing deletion, or a library
// that is loaded, is left as it is with nothing beside it.
#include "TestFiles.h"
#include "batch/BatchEngine.h"
#include "batch/FolderWalk.h"
#include "filesystem/Folder.h"
#include "filesystem/Replacement.h"
#include "filesystem/TemporaryName.h"
#include "format/ActionLogLines.h"
#include "format/LogLines.h"
#include "transform/FileCrypt.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <windows.h>

using namespace vaultine;

namespace {

std::wstring wide(const QString &path)
{
    return L"\\\\?\\" + QDir::toNativeSeparators(QDir::cleanPath(path)).toStdWString();
}

DWORD attributesOf(const QString &path)
{
    return ::GetFileAttributesW(wide(path).c_str());
}

// Read as Explorer would, sharing everything with whoever has it open.
QByteArray readShared(const QString &path)
{
    const HANDLE file =
        ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    QByteArray bytes(64, '\0');
    DWORD got = 0;
    const bool read =
        file != INVALID_HANDLE_VALUE && ::ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
    ::CloseHandle(file);
    return read ? bytes.left(int(got)) : QByteArray("<unreadable>");
}

QString errorText()
{
    return qt_error_string(int(::GetLastError()));
}

} // namespace

class TestWinFileSystem : public QObject
{
    Q_OBJECT

    QStringList m_lines;

    int encrypt(const QString &path)
    {
        return filecrypt::encryptFile(path, path, true, [this](const QString &line) { m_lines << line; });
    }

    BatchSummary batch(const QString &folder)
    {
        const FolderListing listing = walkFolder(folder, [this](const QString &line) { m_lines << line; });
        BatchEngine::Hooks hooks;
        hooks.log = [this](const QString &line) { m_lines << line; };
        return BatchEngine(listing, Direction::Encrypt, true, hooks).run();
    }

private slots:
    void init() { m_lines.clear(); }

    // Another name would keep the old content; a read-only file is refused
    // as a plain write would refuse it.
    void hardLinksAndReadOnlyFilesAreLeftAsTheyWere()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("linked.txt"), other = dir.filePath("other name.txt");
        QVERIFY(testfiles::writeAll(file, "two names"));
        QVERIFY2(::CreateHardLinkW(wide(other).c_str(), wide(file).c_str(), nullptr), qPrintable(errorText()));
        QCOMPARE(encrypt(file), -1);
        QVERIFY(m_lines.contains(loglines::kHardLinks[Direction::Encrypt] + nativePath(file)));
        QCOMPARE(testfiles::readAll(other), QByteArray("two names"));

        const QString locked = dir.filePath("read-only.txt");
        QVERIFY(testfiles::writeAll(locked, "read only"));
        QVERIFY(::SetFileAttributesW(wide(locked).c_str(), FILE_ATTRIBUTE_READONLY));
        QCOMPARE(encrypt(locked), -1);
        QCOMPARE(testfiles::readAll(locked), QByteArray("read only"));

        const BatchSummary summary = batch(dir.path());
        QCOMPARE(summary.done, 0);
        QCOMPARE(testfiles::readAll(file), QByteArray("two names"));
        QCOMPARE(testfiles::readAll(locked), QByteArray("read only"));
        ::SetFileAttributesW(wide(locked).c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // What Explorer shows of a file stays; the new content is never left
    // hidden where the old was not.
    void attributesStay()
    {
        QTemporaryDir dir;
        const QString marked = dir.filePath("marked.txt"), plain = dir.filePath("plain.txt");
        QVERIFY(testfiles::writeAll(marked, "marked"));
        QVERIFY(testfiles::writeAll(plain, "plain"));
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
        QVERIFY(::SetFileAttributesW(wide(marked).c_str(), kept));
        QCOMPARE(attributesOf(marked) & kept, kept);
        QCOMPARE(encrypt(marked), 0);
        QCOMPARE(encrypt(plain), 0);
        QVERIFY(filecrypt::isFileEncrypted(marked));
        QCOMPARE(attributesOf(marked) & kept, kept);
        QCOMPARE(attributesOf(plain) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), DWORD(0));
        // Nothing beside them: no temporary file, no backup name.
        QCOMPARE(testfiles::entries(dir.path()).join(','), QStringLiteral("marked.txt,plain.txt"));
    }

    void creationTimeStays()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("dated.txt");
        QVERIFY(testfiles::writeAll(file, "dated"));
        FILETIME set{0x2c3d4e00, 0x01c00000}; // 2001
        {
            const HANDLE handle = ::CreateFileW(wide(file).c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, 0,
                                                nullptr, OPEN_EXISTING, 0, nullptr);
            QVERIFY(handle != INVALID_HANDLE_VALUE);
            ::SetFileTime(handle, &set, nullptr, nullptr);
            FILETIME read{};
            ::GetFileTime(handle, &read, nullptr, nullptr);
            ::CloseHandle(handle);
            if (read.dwLowDateTime != set.dwLowDateTime || read.dwHighDateTime != set.dwHighDateTime)
                QSKIP("this file system (Wine on Linux) cannot set a creation time");
        }
        QCOMPARE(encrypt(file), 0);
        const HANDLE handle =
            ::CreateFileW(wide(file).c_str(), FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME now{};
        ::GetFileTime(handle, &now, nullptr, nullptr);
        ::CloseHandle(handle);
        QCOMPARE(now.dwLowDateTime, set.dwLowDateTime);
        QCOMPARE(now.dwHighDateTime, set.dwHighDateTime);
    }

    // Held open by a program that shares it with no one: left unchanged,
    // and the log says why, alone and in a batch.
    void aFileHeldUnsharedIsLeftUnchanged()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("held.txt");
        QVERIFY(testfiles::writeAll(file, "held"));
        const FolderListing listing = walkFolder(dir.path(), [](const QString &) {});
        const HANDLE held =
            ::CreateFileW(wide(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(held != INVALID_HANDLE_VALUE);
        QCOMPARE(encrypt(file), -1);
        QVERIFY2(m_lines.contains(loglines::kInUse[Direction::Encrypt] + nativePath(file)),
                 qPrintable(m_lines.join('\n')));
        m_lines.clear();
        BatchEngine::Hooks hooks;
        hooks.log = [this](const QString &line) { m_lines << line; };
        const BatchSummary summary = BatchEngine(listing, Direction::Encrypt, true, hooks).run();
        ::CloseHandle(held);
        QCOMPARE(summary.done, 0);
        QCOMPARE(summary.failed, 1); // not done: counted as failed, as a file alone is
        QCOMPARE(summary.skipped, 0);
        QVERIFY(m_lines.contains(loglines::kInUse[Direction::Encrypt] + nativePath(listing.paths.value(0))));
        QCOMPARE(testfiles::readAll(file), QByteArray("held"));
    }

    // A link or junction in a dropped folder that leads out of it is named
    // and not followed.
    void aLinkLeadingOutsideIsNotFollowed()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("dropped") && QDir(dir.path()).mkpath("elsewhere"));
        const QString outside = dir.filePath("elsewhere/outside.txt"), link = dir.filePath("dropped/link");
        QVERIFY(testfiles::writeAll(outside, "outside"));
        QVERIFY(testfiles::writeAll(dir.filePath("dropped/inside.txt"), "inside"));
        if (!::CreateSymbolicLinkW(wide(link).c_str(), wide(dir.filePath("elsewhere")).c_str(),
                                   SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
            QSKIP(qPrintable("no symbolic link can be made here (Wine): " + errorText()));
        const BatchSummary summary = batch(dir.filePath("dropped"));
        QCOMPARE(summary.done, 1);
        QCOMPARE(testfiles::readAll(outside), QByteArray("outside"));
        QVERIFY(filecrypt::isFileEncrypted(dir.filePath("dropped/inside.txt")));
    }

    // Past MAX_PATH, and names no ANSI code page holds.
    void longPathsAndNamesOutsideAnyCodePage()
    {
        QTemporaryDir dir;
        const QString deep = dir.filePath(QString(60, 'd') + '/' + QString(60, 'e') + '/' + QString(60, 'f') + '/'
                                          + QString(60, 'g') + '/' + QStringLiteral("机密"));
        QVERIFY(QDir().mkpath(deep));
        const QStringList files{deep + QStringLiteral("/文件.txt"), deep + QStringLiteral("/🔑 key.txt"),
                                dir.filePath(QStringLiteral("名字😀.txt"))};
        QVERIFY(files.first().size() > MAX_PATH);
        for (const QString &file : files)
            QVERIFY(testfiles::writeAll(file, file.toUtf8()));
        QCOMPARE(encrypt(files.first()), 0);
        const BatchSummary summary = batch(dir.path());
        QCOMPARE(summary.done, 2);
        QCOMPARE(summary.alreadyInState, 1);
        for (const QString &file : files) {
            QVERIFY2(filecrypt::isFileEncrypted(file), qPrintable(file));
            QCOMPARE(filecrypt::decryptFile(file, file, true, [](const QString &) {}), 0);
            QCOMPARE(testfiles::readAll(file), file.toUtf8());
        }
    }

    // Killed while the new content is written: the file keeps its bytes, the
    // new content is a hidden temporary file, and the next batch names it
    // and leaves it alone.
    void anInterruptedRewriteLeavesTheFileAndANamedLeftover()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("file.txt");
        QVERIFY(testfiles::writeAll(file, "old bytes"));
        Folder folder;
        QCOMPARE(folder.open(dir.path()), Folder::Opened::Ok);
        FileState state;
        QCOMPARE(folder.lookUp("file.txt", &state), Folder::Entry::Present);
        // Never destroyed, as a killed process never gets to discard it.
        auto *cut = new Replacement(folder, "file.txt", &state);
        QCOMPARE(cut->open(), Replacement::Opened::Ok);
        QVERIFY(cut->write("new by", 6));
        QCOMPARE(testfiles::readAll(file), QByteArray("old bytes"));
        const QStringList entries = testfiles::entries(dir.path());
        QCOMPARE(entries.size(), 2);
        const QString leftover = entries.at(0) == "file.txt" ? entries.at(1) : entries.at(0);
        QVERIFY(temporaryname::isTemporary(leftover));
        QVERIFY(attributesOf(dir.filePath(leftover)) & FILE_ATTRIBUTE_HIDDEN);

        const BatchSummary summary = batch(dir.path());
        QCOMPARE(summary.done, 1);
        // Still open for writing (its rewrite never ended here): left to it,
        // and named.
        QVERIFY(m_lines.contains(actionlines::kLeftoverInUse + nativePath(dir.path() + '/' + leftover)));
        QVERIFY(summary.leftovers.isEmpty());
        QVERIFY(filecrypt::isFileEncrypted(file));
        QCOMPARE(readShared(dir.filePath(leftover)), QByteArray("new by"));
    }

    // A folder named by a path that already carries the long prefix (as
    // Windows or Qt spells it): the names in it are reached, looked up,
    // listed and replaced, although they are joined to it with '/'.
    void aFolderNamedWithTheLongPrefixReachesItsNames()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("file.txt");
        QVERIFY(testfiles::writeAll(file, "old bytes"));
        const QStringList spellings{QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(dir.path()),
                                    QStringLiteral("//?/") + dir.path()};
        for (const QString &prefixed : spellings) {
            Folder folder;
            QCOMPARE(folder.open(prefixed), Folder::Opened::Ok);
            FileState state;
            QCOMPARE(folder.lookUp("file.txt", &state), Folder::Entry::Present);
            std::vector<ListedName> names;
            QVERIFY(listNames(prefixed, &names));
            QVERIFY(std::any_of(names.begin(), names.end(),
                                [](const ListedName &listed) { return listed.name == "file.txt"; }));
            Replacement replacement(folder, "file.txt", &state);
            QCOMPARE(replacement.open(), Replacement::Opened::Ok);
            QVERIFY(replacement.write(prefixed.toUtf8().constData(), prefixed.toUtf8().size()));
            QVERIFY(replacement.finish(Replacement::Flush::Now));
            QCOMPARE(replacement.commit(), Replacement::Committed::Done);
            QCOMPARE(testfiles::readAll(file), prefixed.toUtf8());
        }
        QCOMPARE(testfiles::entries(dir.path()).join(','), QStringLiteral("file.txt"));
    }

    // Another program holds the file without sharing its deletion, or runs
    // it as a library: it keeps its bytes, and no name is left beside it
    // (Wine's ReplaceFileW, asked anyway, leaves an "rf….tmp" of its own,
    // empty or with the old content).
    void aFileThatCannotBeMovedOrDeletedIsLeftWithNothingBeside()
    {
        QTemporaryDir dir;
        const QString held = dir.filePath("held.txt");
        QVERIFY(testfiles::writeAll(held, "held"));
        const HANDLE holder = ::CreateFileW(wide(held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(holder != INVALID_HANDLE_VALUE);
        QCOMPARE(encrypt(held), -1);
        ::CloseHandle(holder);
        QCOMPARE(testfiles::readAll(held), QByteArray("held"));
        QCOMPARE(testfiles::entries(dir.path()).join(','), QStringLiteral("held.txt"));

        wchar_t system[MAX_PATH];
        QVERIFY(::GetSystemDirectoryW(system, MAX_PATH));
        const QString library = dir.filePath("library.dll");
        QVERIFY(QFile::copy(QString::fromWCharArray(system) + QStringLiteral("/version.dll"), library));
        const QByteArray before = testfiles::readAll(library);
        const HMODULE loaded = ::LoadLibraryExW(wide(library).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        QVERIFY2(loaded, qPrintable(errorText()));
        m_lines.clear();
        QCOMPARE(encrypt(library), -1);
        const QStringList left = testfiles::entries(dir.path());
        ::FreeLibrary(loaded);
        QCOMPARE(left.join(','), QStringLiteral("held.txt,library.dll"));
        QVERIFY(testfiles::readAll(library) == before);
        QVERIFY2(m_lines.filter(loglines::kWriteFailed[Direction::Encrypt] + nativePath(library)).size() == 1,
                 qPrintable(m_lines.join('\n')));
    }

    // Devices are never opened as files.
    void devicesAreRefused()
    {
        QCOMPARE(encrypt(QStringLiteral("\\\\.\\NUL")), -1);
        QCOMPARE(encrypt(QStringLiteral("//./pipe/keystrel-none")), -1);
    }
};

QTEST_GUILESS_MAIN(TestWinFileSystem)
#include "tst_winfilesystem.moc"
