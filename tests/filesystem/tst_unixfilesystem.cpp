// The Linux side of the file system layer: what it opens and what it refuses
// (links, FIFOs), and the temporary names it makes and recognises.
#include "TestFiles.h"
#include "filesystem/FileState.h"
#include "filesystem/Folder.h"
#include "filesystem/InputFile.h"
#include "filesystem/RegularFile.h"
#include "filesystem/TemporaryName.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace vaultine;

class TestUnixFilesystem : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(testfiles::writeAll(path("file.txt"), "content"));
        QVERIFY(QFile::link(path("file.txt"), path("link.txt")));
        QVERIFY(QDir(m_dir.path()).mkdir("sub"));
        QVERIFY(QFile::link(path("sub"), path("link-to-sub")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    }

    void aNameInAFolderIsNeverOpenedThroughALink()
    {
        Folder folder;
        QCOMPARE(folder.open(m_dir.path()), Folder::Opened::Ok);
        InputFile input;
        QCOMPARE(input.openIn(folder, "link.txt"), InputFile::Opened::Link);
        QVERIFY(!input.isOpen());
        QCOMPARE(input.openIn(folder, "missing.txt"), InputFile::Opened::Missing);
        QCOMPARE(input.openIn(folder, "file.txt"), InputFile::Opened::Ok);
        char bytes[16];
        QCOMPARE(input.readFully(bytes, sizeof bytes), qint64(7));
        QCOMPARE(QByteArray(bytes, 7), QByteArray("content"));
    }

    void aPathTheUserNamedFollowsItsLink()
    {
        InputFile input;
        QVERIFY(input.open(path("link.txt")));
        FileState target;
        QVERIFY(stateAtPath(path("file.txt"), FollowLinks::Yes, &target));
        QVERIFY(input.state().isSameFile(target));
        QVERIFY(input.isStillAt(path("link.txt")));
        FileState link;
        QVERIFY(stateAtPath(path("link.txt"), FollowLinks::No, &link));
        QCOMPARE(link.kind, FileKind::Link);
        QVERIFY(!link.isSameFile(target));
    }

    // A FIFO without a writer would block a plain open for reading forever:
    // these return at once (a hang here ends in the test's time-out).
    void aFifoIsRefusedWithoutWaitingForAWriter()
    {
        InputFile input;
        QVERIFY(!input.open(path("fifo")));
        Folder folder;
        QCOMPARE(folder.open(m_dir.path()), Folder::Opened::Ok);
        QCOMPARE(input.openIn(folder, "fifo"), InputFile::Opened::NotRegular);
        QFile file;
        QVERIFY(!openRegularFileForReading(file, path("fifo")));
        QVERIFY(!file.isOpen());
        QVERIFY(openRegularFileForReading(file, path("link.txt")));
        QCOMPARE(file.readAll(), QByteArray("content"));
    }

    void aChildFolderIsNeverOpenedThroughALink()
    {
        Folder parent;
        QCOMPARE(parent.open(m_dir.path()), Folder::Opened::Ok);
        Folder child;
        QCOMPARE(child.openChild(parent, "link-to-sub"), Folder::Opened::Replaced);
        QCOMPARE(child.openChild(parent, "file.txt"), Folder::Opened::Replaced);
        QCOMPARE(child.openChild(parent, "nothing"), Folder::Opened::Missing);
        QCOMPARE(child.openChild(parent, "sub"), Folder::Opened::Ok);
        FileIdentity opened;
        QVERIFY(child.identify(&opened));
        FileState sub;
        QVERIFY(stateAtPath(path("sub"), FollowLinks::No, &sub));
        QCOMPARE(sub.kind, FileKind::Folder);
        QVERIFY(opened == sub.identity);
        QCOMPARE(child.path(), path("sub"));
    }

    void entriesAreLookedAtWithoutFollowingLinks()
    {
        Folder folder;
        QCOMPARE(folder.open(m_dir.path()), Folder::Opened::Ok);
        FileState state;
        QCOMPARE(folder.lookUp("link.txt", &state), Folder::Entry::Present);
        QCOMPARE(state.kind, FileKind::Link);
        QCOMPARE(folder.lookUp("file.txt", &state), Folder::Entry::Present);
        QCOMPARE(state.kind, FileKind::Regular);
        QCOMPARE(state.size, qint64(7));
        QCOMPARE(state.linkCount, quint64(1));
        QCOMPARE(folder.lookUp("gone.txt", &state), Folder::Entry::Absent);
    }

    void temporaryNamesAreMadeAndRecognisedByOneRule()
    {
        for (int i = 0; i < 100; ++i) {
            const QString name = temporaryname::fresh();
            QVERIFY2(temporaryname::isTemporary(name), qPrintable(name));
            QVERIFY(name.startsWith(".keystrel-"));
        }
        QVERIFY(temporaryname::isTemporary(".keystrel-a1B2c3"));
        for (const char *other : {".keystrel-abcde", ".keystrel-abcdefg", "keystrel-abcdef", ".keystrel-abc-de",
                                  ".keystrel-", ".Keystrel-abcdef", "x.keystrel-abcdef"})
            QVERIFY2(!temporaryname::isTemporary(QString::fromLatin1(other)), other);
        QVERIFY(!temporaryname::isTemporary(QStringLiteral(".keystrel-äbcdef")));
    }

    void listedNamesIncludeHiddenOnes()
    {
        QVERIFY(testfiles::writeAll(path(".hidden"), "x"));
        std::vector<ListedName> names;
        QVERIFY(listNames(m_dir.path(), &names));
        QStringList found;
        for (const ListedName &listed : names) {
            QVERIFY(listed.faithful);
            found << listed.name;
        }
        QVERIFY(found.contains(".hidden"));
        QVERIFY(found.contains("fifo"));
        QVERIFY(!listNames(path("nothing"), &names));
    }

    // Bytes that are no valid UTF-8 do not survive the way through QString:
    // such a name is marked, so that a walk can say it cannot reach it.
    void aNameInAnotherEncodingIsMarked()
    {
        const QByteArray name = "caf\xe9.txt";
        if (QFile::encodeName(QFile::decodeName(name)) == name)
            QSKIP("the local encoding takes any byte");
        QTemporaryDir dir;
        const QByteArray raw = QFile::encodeName(dir.path()) + '/' + name;
        FILE *created = std::fopen(raw.constData(), "w");
        QVERIFY(created);
        std::fclose(created);
        std::vector<ListedName> names;
        QVERIFY(listNames(dir.path(), &names));
        int unfaithful = 0;
        for (const ListedName &listed : names)
            unfaithful += listed.faithful ? 0 : 1;
        QCOMPARE(unfaithful, 1);
    }
};

QTEST_GUILESS_MAIN(TestUnixFilesystem)
#include "tst_unixfilesystem.moc"
