// A rewritten file is the same file to everyone but its bytes: owner,
// group, full mode, extended attributes and ACLs come back as they were. A
// file with other names (hard links) is left alone, since those names would
// keep the old content; so says the log, for the buttons, drops and batches.
#include "FileTestUtils.h"
#include "LogRecorder.h"
#include "form/Form.h"
#include "form/FormDriver.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace vaultine;

using namespace filetest;

namespace {

struct Identity
{
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    bool operator==(const Identity &o) const { return owner == o.owner && group == o.group && mode == o.mode; }
};

Identity identityOf(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return Identity{info.st_uid, info.st_gid, info.st_mode};
}

QByteArray attribute(const QString &path, const char *name)
{
    char value[256];
    const ssize_t length = ::lgetxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return length < 0 ? QByteArray("<none>") : QByteArray(value, int(length));
}

bool setAttribute(const QString &path, const char *name, const QByteArray &value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(), size_t(value.size()), 0) == 0;
}

// A POSIX access ACL in the kernel's xattr form: owner rw-, user 65534 r--,
// group r--, mask r--, others none.
QByteArray accessAcl()
{
    QByteArray acl;
    auto put16 = [&](quint16 v) { acl.append(char(v & 0xff)).append(char(v >> 8)); };
    auto put32 = [&](quint32 v) {
        put16(quint16(v & 0xffff));
        put16(quint16(v >> 16));
    };
    put32(2); // version
    const struct
    {
        quint16 tag, perm;
        quint32 id;
    } entries[] = {
        {0x01, 6, 0xffffffff}, {0x02, 4, 65534}, {0x04, 4, 0xffffffff}, {0x10, 4, 0xffffffff}, {0x20, 0, 0xffffffff}};
    for (const auto &e : entries) {
        put16(e.tag);
        put16(e.perm);
        put32(e.id);
    }
    return acl;
}

} // namespace

class TestFileIdentity : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void init() { logrecorder::clear(); }

    void ownerGroupAndFullModeKept_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("0640") << 0640;
        QTest::newRow("set-user-id 4755") << 04755;
        QTest::newRow("set-group-id 2664") << 02664;
        QTest::newRow("sticky 1644") << 01644;
    }

    void ownerGroupAndFullModeKept()
    {
        QFETCH(int, mode);
        const bool root = ::geteuid() == 0;
        const QString file = path("kept.txt");
        QVERIFY(write(file, "who owns me"));
        // As root the file belongs to someone else, as it would in a shared
        // folder; otherwise to the user, in a group of theirs.
        if (root)
            QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
        const Identity before = identityOf(file);
        QCOMPARE(before.mode & 07777, mode_t(mode));

        Form form;
        QCOMPARE(form.encryptFile(file, file), 0);
        QVERIFY(read(file).startsWith(header()));
        QVERIFY(identityOf(file) == before);
        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(read(file), QByteArray("who owns me"));
        QVERIFY(identityOf(file) == before);
        QFile::remove(file);
    }

    void attributesAndAclKept()
    {
        const QString file = path("attributes.txt");
        QVERIFY(write(file, "with attributes"));
        if (!setAttribute(file, "user.keystrel.note", "kept with the file"))
            QSKIP("this file system takes no user attributes");
        const QByteArray acl = accessAcl();
        const bool hasAcl = setAttribute(file, "system.posix_acl_access", acl);
        Form form;
        QCOMPARE(form.encryptFile(file, file), 0);
        QCOMPARE(attribute(file, "user.keystrel.note"), QByteArray("kept with the file"));
        if (hasAcl)
            QCOMPARE(attribute(file, "system.posix_acl_access"), acl);
        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(read(file), QByteArray("with attributes"));
        QCOMPARE(attribute(file, "user.keystrel.note"), QByteArray("kept with the file"));
        if (hasAcl)
            QCOMPARE(attribute(file, "system.posix_acl_access"), acl);
        // Nothing but the file: no warning about attributes either.
        QVERIFY(logrecorder::lines().filter(QStringLiteral("扩展属性")).isEmpty());
        QFile::remove(file);
    }

    void hardLinkedFileLeftAlone()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.txt"), alias = dir.filePath("alias.txt"), lone = dir.filePath("lone.txt");
        QVERIFY(write(a, "visible under two names") && write(lone, "one name"));
        QVERIFY(::link(QFile::encodeName(a).constData(), QFile::encodeName(alias).constData()) == 0);
        Form form;

        QCOMPARE(form.encryptFile(a, a), -1);
        QCOMPARE(logrecorder::takeLines(),
                 QStringList({"加密：文件大小：23",
                              "加密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 " + a}));
        // Dropped: refused the same way, and no output line.
        QVERIFY(formdriver::drop(&form, formdriver::localUrls({alias})));
        QCOMPARE(logrecorder::takeLines().last(),
                 "加密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 " + alias);

        // In a batch it fails, by name in the summary; the other file is done.
        QVERIFY(formdriver::drop(&form, formdriver::localUrls({dir.path()})));
        const QStringList lines = logrecorder::takeLines();
        QVERIFY(lines.filter(QStringLiteral("已输出到:")).size() == 1);
        QCOMPARE(lines.last(), QStringLiteral("批量加密完成：加密1个，跳过0个，失败2个。失败的文件：") + a
                                   + QStringLiteral("、") + alias);
        QCOMPARE(read(a), QByteArray("visible under two names"));
        QCOMPARE(read(alias), QByteArray("visible under two names"));
        QVERIFY(read(lone).startsWith(header()));

        // Encrypted files with a second name are not decrypted either.
        QVERIFY(QFile::remove(alias));
        QCOMPARE(form.encryptFile(a, a), 0);
        QVERIFY(::link(QFile::encodeName(a).constData(), QFile::encodeName(alias).constData()) == 0);
        const QByteArray cipher = read(a);
        logrecorder::clear();
        QCOMPARE(form.decryptFile(a, a), -1);
        QCOMPARE(logrecorder::takeLines().last(),
                 "解密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 " + a);
        QCOMPARE(read(a), cipher);
        QCOMPARE(entries(dir.path()), QStringList({"a.txt", "alias.txt", "lone.txt"}));
    }
};

QTEST_MAIN(TestFileIdentity)
#include "tst_fileidentity.moc"
