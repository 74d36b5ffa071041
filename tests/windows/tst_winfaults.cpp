// The Windows file layer under failures that Wine does not make on its own,
// injected through its seam (SystemCalls_win.h) or by killing a rewrite:
// ReplaceFileW failing half-way, with the old file gone or still there; a
// folder whose access list lets the user add files but not change the folder
// itself; and which leftovers of a killed rewrite may go.
#include "TestFiles.h"
#include "batch/BatchEngine.h"
#include "batch/FolderWalk.h"
#include "filesystem/Folder.h"
#include "filesystem/Leftover.h"
#include "filesystem/Replacement.h"
#include "filesystem/SystemCalls_win.h"
#include "filesystem/TemporaryName.h"
#include "format/LogLines.h"
#include "transform/FileCrypt.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

using namespace vaultine;

namespace {

const QByteArray kOld("old bytes");

DWORD attributesOf(const QString &path)
{
    return ::GetFileAttributesW(wincalls::widePath(path).c_str());
}

// The calls of the seam as they were, put back when the test ends.
struct SeamRestored
{
    wincalls::Seam saved = wincalls::seam();
    ~SeamRestored() { wincalls::seam() = saved; }
};

// ReplaceFileW as it fails when it cannot rename the new file after it has
// deleted the old one (no backup name asked for).
BOOL WINAPI replaceLosingTheOld(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID)
{
    ::DeleteFileW(replaced);
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return FALSE;
}

// ReplaceFileW as it fails when it cannot remove the old file, which stays.
BOOL WINAPI replaceKeepingTheOld(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID)
{
    ::SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
    return FALSE;
}

BOOL WINAPI moveDenied(LPCWSTR, LPCWSTR, DWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A folder whose access list lets the user add files to it but not change
// its attributes or extended attributes: opening it for more is denied.
HANDLE WINAPI openAsAddOnlyFolder(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model)
{
    const DWORD allowed = FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES
                          | FILE_TRAVERSE | SYNCHRONIZE | READ_CONTROL;
    const DWORD attributes = ::GetFileAttributesW(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && (access & ~allowed)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(name, access, share, security, disposition, flags, model);
}

QString onlyEntryOf(const QString &folder)
{
    const QStringList entries = testfiles::entries(folder);
    return entries.size() == 1 ? entries.first() : entries.join('|');
}

} // namespace

class TestWinFaults : public QObject
{
    Q_OBJECT

    QStringList m_lines;

    LogFn logger()
    {
        return [this](const QString &line) { m_lines << line; };
    }

    BatchSummary batch(const QString &folder, Direction direction = Direction::Encrypt)
    {
        const FolderListing listing = walkFolder(folder, logger());
        BatchEngine::Hooks hooks;
        hooks.log = logger();
        return BatchEngine(listing, direction, true, hooks).run();
    }

    // No line may say that a file kept its bytes.
    bool saysUnchanged() const { return !m_lines.filter(QStringLiteral("原文件保持不变")).isEmpty(); }

private slots:
    void init() { m_lines.clear(); }

    // The old file gone and the new one not at its name: the new content
    // stays, whole and in sight, and the line names it; never "unchanged".
    void replaceFailingHalfWayKeepsTheOnlyCopy_data()
    {
        QTest::addColumn<bool>("inBatch");
        QTest::newRow("one file") << false;
        QTest::newRow("batch") << true;
    }
    void replaceFailingHalfWayKeepsTheOnlyCopy()
    {
        QFETCH(bool, inBatch);
        QTemporaryDir dir;
        const QString file = dir.filePath("file.txt");
        QVERIFY(testfiles::writeAll(file, kOld));
        {
            SeamRestored restored;
            wincalls::seam().replaceFile = replaceLosingTheOld;
            wincalls::seam().moveFile = moveDenied;
            if (inBatch) {
                const BatchSummary summary = batch(dir.path());
                QCOMPARE(summary.done, 0);
                QCOMPARE(summary.failed, 1);
            } else {
                QCOMPARE(filecrypt::encryptFile(file, file, true, logger()), -1);
            }
        }
        const QString kept = onlyEntryOf(dir.path());
        QVERIFY2(temporaryname::isTemporary(kept), qPrintable(kept + '\n' + m_lines.join('\n')));
        const QString keptPath = dir.path() + '/' + kept;
        const QString reason = qt_error_string(ERROR_ACCESS_DENIED);
        QVERIFY2(m_lines.contains(loglines::withReason(loglines::kKeptAside[Direction::Encrypt], keptPath, reason)),
                 qPrintable(m_lines.join('\n')));
        QVERIFY2(!saysUnchanged(), qPrintable(m_lines.join('\n')));
        // No longer marked unplaced (Wine shows any name with a leading '.'
        // hidden, so that the hidden attribute cannot be asked here).
        QCOMPARE(attributesOf(keptPath) & FILE_ATTRIBUTE_SYSTEM, DWORD(0));

        // Whole: it decrypts to the old content, and no batch may take it
        // for a redundant leftover.
        Folder folder;
        QCOMPARE(folder.open(dir.path()), Folder::Opened::Ok);
        QString why;
        QCOMPARE(clearLeftover(folder, kept, &why), LeftoverFate::MayBeOnlyCopy);
        QVERIFY(filecrypt::isFileEncrypted(keptPath));
        QCOMPARE(filecrypt::decryptFile(keptPath, keptPath, true, [](const QString &) {}), 0);
        QCOMPARE(testfiles::readAll(keptPath), kOld);
    }

    // ReplaceFileW and the move refused, the old file still at its name:
    // then it did keep its bytes, and the new content goes.
    void replaceFailingWithTheOldInPlaceLeavesTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("file.txt");
        QVERIFY(testfiles::writeAll(file, kOld));
        {
            SeamRestored restored;
            wincalls::seam().replaceFile = replaceKeepingTheOld;
            wincalls::seam().moveFile = moveDenied;
            QCOMPARE(filecrypt::encryptFile(file, file, true, logger()), -1);
        }
        QVERIFY2(m_lines.contains(loglines::withReason(loglines::kWriteFailed[Direction::Encrypt], file,
                                                       qt_error_string(ERROR_ACCESS_DENIED))),
                 qPrintable(m_lines.join('\n')));
        QCOMPARE(onlyEntryOf(dir.path()), QStringLiteral("file.txt"));
        QCOMPARE(testfiles::readAll(file), kOld);
    }

    // Files may be added to the folder, the folder itself not changed: its
    // files are rewritten, and its flush is not refused for it.
    void aFolderOneMayOnlyAddToIsFlushed()
    {
        QTemporaryDir dir;
        const QString single = dir.filePath("single.txt");
        QVERIFY(testfiles::writeAll(single, kOld));
        QVERIFY(testfiles::writeAll(dir.filePath("second.txt"), kOld));
        SeamRestored restored;
        wincalls::seam().createFile = openAsAddOnlyFolder;
        QCOMPARE(filecrypt::encryptFile(single, single, true, logger()), 0);
        const BatchSummary summary = batch(dir.path(), Direction::Decrypt);
        QVERIFY2(summary.done == 1 && summary.failed == 0 && summary.skipped == 1, qPrintable(m_lines.join('\n')));
        QVERIFY2(m_lines.filter(loglines::kNotDurable[Direction::Decrypt]).isEmpty(), qPrintable(m_lines.join('\n')));
        QCOMPARE(testfiles::readAll(single), kOld);
    }

    // Killed while the new content was written: the original was never
    // touched, and the leftover may go. Killed as it was to take the name:
    // the original may be gone, and it stays. Nor may a rewrite still under
    // way lose its file, or any other name be judged.
    void leftoversAreJudgedByHowFarTheirRewriteGot_data()
    {
        QTest::addColumn<QString>("killed");
        QTest::addColumn<bool>("redundant");
        QTest::newRow("while writing") << "while-writing" << true;
        QTest::newRow("at the replace") << "at-replace" << false;
    }
    void leftoversAreJudgedByHowFarTheirRewriteGot()
    {
        QFETCH(QString, killed);
        QFETCH(bool, redundant);
        QTemporaryDir dir;
        const QString file = dir.filePath("file.txt");
        QVERIFY(testfiles::writeAll(file, kOld));
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedChannels);
        probe.start(QStringLiteral(REWRITE_PROBE), {killed, QDir::toNativeSeparators(file)});
        QVERIFY(probe.waitForFinished(120000));
        QCOMPARE(probe.exitCode(), 9);

        QCOMPARE(testfiles::readAll(file), kOld);
        QStringList left = testfiles::entries(dir.path());
        left.removeOne(QStringLiteral("file.txt"));
        QCOMPARE(left.size(), 1);
        QVERIFY(temporaryname::isTemporary(left.first()));
        Folder folder;
        QCOMPARE(folder.open(dir.path()), Folder::Opened::Ok);
        QString reason;
        QCOMPARE(clearLeftover(folder, QStringLiteral("file.txt"), &reason), LeftoverFate::Gone);
        QCOMPARE(testfiles::readAll(file), kOld);

        FileState state;
        QCOMPARE(folder.lookUp(QStringLiteral("file.txt"), &state), Folder::Entry::Present);
        Replacement live(folder, QStringLiteral("file.txt"), &state);
        QCOMPARE(live.open(), Replacement::Opened::Ok);
        QVERIFY(live.write("new", 3));
        left = testfiles::entries(dir.path());
        left.removeOne(QStringLiteral("file.txt"));
        QCOMPARE(left.size(), 2);
        // The one being written is left to its rewrite; the leftover is
        // removed where redundant, else kept.
        int inUse = 0;
        for (const QString &name : left) {
            const LeftoverFate fate = clearLeftover(folder, name, &reason);
            inUse += fate == LeftoverFate::InUse ? 1 : 0;
            QVERIFY2(fate == LeftoverFate::InUse
                         || fate == (redundant ? LeftoverFate::Removed : LeftoverFate::MayBeOnlyCopy),
                     qPrintable(name));
        }
        QCOMPARE(inUse, 1);
        QCOMPARE(testfiles::entries(dir.path()).size(), redundant ? 2 : 3);
        QVERIFY(live.finish(Replacement::Flush::Now));
        QCOMPARE(live.commit(), Replacement::Committed::Done);
        QCOMPARE(testfiles::readAll(file), QByteArray("new"));
    }
};

QTEST_GUILESS_MAIN(TestWinFaults)
#include "tst_winfaults.moc"
