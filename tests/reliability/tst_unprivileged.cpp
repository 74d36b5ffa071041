// Permissions as an ordinary user meets them: a read-only file, a folder
// without write permission, an unreadable file. Root ignores permissions, so
// as root the tool runs as "nobody" (setpriv) on files that nobody owns.
// Each case is refused with its log line and the file keeps its bytes.
#include "ToolRun.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testfiles::entries;
using testfiles::readAll;
using testfiles::writeAll;

constexpr uid_t kNobody = 65534;

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class TestUnprivileged : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;
    QString m_work;        // a folder the unprivileged user owns
    toolrun::Options m_as; // how to run the tool as that user
    bool m_root = false;

    // A file (or folder) made by the test, handed to the unprivileged user.
    bool own(const QString &path)
    {
        return !m_root || ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
    }

    QString makeFile(const QString &relative, const QByteArray &bytes, mode_t mode)
    {
        const QString path = m_work + '/' + relative;
        if (!writeAll(path, bytes) || !own(path) || !setMode(path, mode))
            return {};
        return path;
    }

private slots:
    void initTestCase()
    {
        m_root = ::geteuid() == 0;
        QVERIFY(m_base.isValid());
        m_work = m_base.filePath("work");
        QVERIFY(QDir().mkpath(m_work));
        if (!m_root)
            return;
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            QSKIP("running as root without setpriv: permissions cannot be tried");
        m_as.wrapper = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        const QString runtime = m_base.filePath("runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(setMode(m_base.path(), 0755) && own(m_work) && own(runtime) && setMode(runtime, 0700));
        m_as.runtimeDir = runtime;
        // The tool must be reachable for that user along its whole path.
        const toolrun::Outcome probe = toolrun::run("encrypt", m_base.filePath("absent"), m_as);
        if (probe.result != -1)
            QSKIP("the tool cannot run as nobody from this build folder");
    }

    void readOnlyFile()
    {
        const QString plain = makeFile("plain.txt", "keep these bytes", 0444);
        QVERIFY(!plain.isEmpty());
        const toolrun::Outcome encrypt = toolrun::run("encrypt", plain, m_as);
        QCOMPARE(encrypt.result, -1);
        QCOMPARE(encrypt.lines, QStringList({"加密：文件大小：16", "加密：无法输入打开文件 " + plain}));
        QCOMPARE(readAll(plain), QByteArray("keep these bytes"));

        // An encrypted file made read-only stays encrypted.
        const QByteArray cipher = QByteArray("has been encrypt", 16) + '\0' + QByteArray(16, 'c');
        const QString locked = makeFile("locked.bin", cipher, 0444);
        QVERIFY(!locked.isEmpty());
        const toolrun::Outcome decrypt = toolrun::run("decrypt", locked, m_as);
        QCOMPARE(decrypt.result, -1);
        QCOMPARE(decrypt.lines, QStringList({"解密：文件大小：33", "解密：无法打开文件 " + locked}));
        QCOMPARE(readAll(locked), cipher);
        QCOMPARE(entries(m_work), QStringList({"locked.bin", "plain.txt"}));
    }

    void folderWithoutWritePermission()
    {
        const QString folder = m_work + "/shelf";
        QVERIFY(QDir().mkpath(folder) && own(folder));
        const QString file = makeFile("shelf/data.txt", "in a locked folder", 0644);
        QVERIFY(!file.isEmpty());
        QVERIFY(setMode(folder, 0555));
        const toolrun::Outcome outcome = toolrun::run("encrypt", file, m_as);
        setMode(folder, 0755);
        QCOMPARE(outcome.result, -1);
        QCOMPARE(outcome.lines, QStringList({"加密：文件大小：18", "加密：无法输入打开文件 " + file}));
        QCOMPARE(readAll(file), QByteArray("in a locked folder"));
        QCOMPARE(entries(folder), QStringList{"data.txt"});
    }

    void unreadableFile()
    {
        const QString file = makeFile("secret.txt", "write only", 0200);
        QVERIFY(!file.isEmpty());
        const toolrun::Outcome outcome = toolrun::run("toggle", file, m_as);
        QCOMPARE(outcome.result, -1);
        QCOMPARE(outcome.lines, QStringList{"加密：无法打开文件 " + file});
        setMode(file, 0600);
        QCOMPARE(readAll(file), QByteArray("write only"));
    }

    // A subfolder the user may not read: the batch handles the rest and
    // says which folder it could not walk, rather than reporting the rest as
    // the whole.
    void unreadableSubfolder()
    {
        const QString top = m_work + "/batch";
        QVERIFY(QDir().mkpath(top + "/closed") && own(top) && own(top + "/closed"));
        const QString open = makeFile("batch/open.txt", "can be read", 0644);
        const QString hidden = makeFile("batch/closed/inside.txt", "cannot be reached", 0644);
        QVERIFY(!open.isEmpty() && !hidden.isEmpty());
        QVERIFY(setMode(top + "/closed", 0));
        const toolrun::Outcome outcome = toolrun::run("drop", top, m_as);
        setMode(top + "/closed", 0755);
        QCOMPARE(outcome.result, 0);
        QVERIFY(readAll(open).startsWith(QByteArray("has been encrypt", 16)));
        QCOMPARE(readAll(hidden), QByteArray("cannot be reached"));
        const QString closed = top + "/closed";
        const bool told = std::any_of(outcome.lines.begin(), outcome.lines.end(), [&](const QString &line) {
            return line.endsWith(closed) && !line.startsWith(QLatin1String("dir: "));
        });
        QVERIFY2(told, qPrintable(outcome.lines.join('\n')));
    }

    // Another user's file this user may write, as in a shared folder: the
    // replacement would belong to this user and its owner could no longer
    // read it. Likewise the user's own file in a group the user is not in.
    // Both are left as they were, with the reason.
    void ownerOrGroupCannotBeKept()
    {
        if (!m_root)
            QSKIP("needs a file of another user's: run as root");
        const QString shared = m_work + "/shared.txt";
        QVERIFY(writeAll(shared, "alice's notes") && setMode(shared, 0666));
        const QString grouped = makeFile("grouped.txt", "team file", 0664);
        QVERIFY(!grouped.isEmpty() && ::chown(QFile::encodeName(grouped).constData(), kNobody, 0) == 0);
        const QStringList present = entries(m_work);
        for (const QString &file : {shared, grouped}) {
            struct stat before;
            QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);
            const QByteArray bytes = readAll(file);
            const toolrun::Outcome outcome = toolrun::run("encrypt", file, m_as);
            QCOMPARE(outcome.result, -1);
            QCOMPARE(outcome.lines, QStringList({QStringLiteral("加密：文件大小：%1").arg(bytes.size()),
                                                 "加密：无法保留文件的所有者和组，原文件保持不变 " + file}));
            struct stat after;
            QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
            QCOMPARE(readAll(file), bytes);
            QVERIFY(after.st_ino == before.st_ino && after.st_uid == before.st_uid && after.st_gid == before.st_gid);
        }
        QCOMPARE(entries(m_work), present);
        QFile::remove(shared);
        QFile::remove(grouped);
    }

    // The same user may write the file: the operation works, so the refusals
    // above come from the permissions alone.
    void writableFileWorks()
    {
        const QString file = makeFile("mine.txt", "my own text", 0600);
        QVERIFY(!file.isEmpty());
        QCOMPARE(toolrun::run("encrypt", file, m_as).result, 0);
        QVERIFY(readAll(file).startsWith(QByteArray("has been encrypt", 16)));
        QCOMPARE(toolrun::run("decrypt", file, m_as).result, 0);
        QCOMPARE(readAll(file), QByteArray("my own text"));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QCOMPARE(info.st_uid, m_root ? kNobody : ::geteuid());
    }
};

QTEST_MAIN(TestUnprivileged)
#include "tst_unprivileged.moc"
