// Paths that stop being what they were: a file removed or swapped between the
// header test and the rewrite, and devices or pipes where a file is expected.
// Each is refused with a log line, nothing blocks, and nothing is replaced.
#include "LogRecorder.h"
#include "form/Form.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace vaultine;

namespace {

using testfiles::entries;
using testfiles::readAll;
using testfiles::writeAll;

// File type and device number, without following a link.
QString nodeOf(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1 %2").arg(info.st_mode & S_IFMT, 0, 8).arg(quint64(info.st_rdev));
}

QByteArray encryptedBytes(Form &form, const QString &folder, const QByteArray &plain)
{
    const QString scratch = folder + "/scratch";
    if (!writeAll(scratch, plain) || form.encryptFile(scratch, scratch) != 0)
        return {};
    const QByteArray bytes = readAll(scratch);
    QFile::remove(scratch);
    logrecorder::clear();
    return bytes;
}

} // namespace

class TestPathFaults : public QObject
{
    Q_OBJECT

    // Character devices to try. As root these are twins made in a temporary
    // folder, so that a fault could never replace the system's own nodes.
    QTemporaryDir m_devices;
    QStringList m_deviceNodes;

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0) {
            m_deviceNodes = QStringList{"/dev/null", "/dev/zero"};
            return;
        }
        for (const auto &node : {qMakePair(QStringLiteral("null"), 3u), qMakePair(QStringLiteral("zero"), 5u)}) {
            const QString path = m_devices.filePath(node.first);
            if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, node.second)) == 0)
                m_deviceNodes << path;
        }
        if (m_deviceNodes.isEmpty())
            QSKIP("cannot make device nodes here");
    }

    void init() { logrecorder::clear(); }

    void devicesAsThePath()
    {
        Form form;
        for (const QString &device : qAsConst(m_deviceNodes)) {
            const QString before = nodeOf(device);
            QVERIFY(!form.isFileEncrypted(device));
            QCOMPARE(form.encryptFile(device, device), -1);
            QCOMPARE(form.decryptFile(device, device), -1);
            QCOMPARE(logrecorder::takeLines(),
                     QStringList({"加密：无法打开文件 " + device, "解密：无法打开输入文件 " + device}));
            QCOMPARE(nodeOf(device), before);
        }
    }

    // Output paths other than the input are reachable through the form's
    // interface only; a device or pipe there must stay what it is.
    void deviceOrPipeAsOutput()
    {
        QTemporaryDir dir;
        Form form;
        const QString input = dir.filePath("input.txt");
        QVERIFY(writeAll(input, "some plain text"));
        const QString fifo = dir.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &output : m_deviceNodes + QStringList{fifo}) {
            const QString before = nodeOf(output);
            const int result = form.encryptFile(input, output);
            QCOMPARE(nodeOf(output), before);
            QCOMPARE(result, -1);
            QCOMPARE(logrecorder::takeLines().last(), "加密：无法输入打开文件 " + output);
        }
        QCOMPARE(entries(dir.path()), QStringList({"input.txt", "pipe"}));
        QCOMPARE(readAll(input), QByteArray("some plain text"));
    }

    // What a drop or batch does: test the header, then rewrite. Whatever
    // happens to the path in between is judged again by the rewrite.
    void changedBetweenHeaderTestAndRewrite()
    {
        QTemporaryDir dir;
        Form form;
        const QString path = dir.filePath("file.txt");
        const QByteArray cipher = encryptedBytes(form, dir.path(), "encrypted by someone else");
        QVERIFY(!cipher.isEmpty());

        // Removed: nothing is created in its place.
        QVERIFY(writeAll(path, "plain"));
        QVERIFY(!form.isFileEncrypted(path));
        QVERIFY(QFile::remove(path));
        QCOMPARE(form.encryptFile(path, path), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList{"加密：无法打开文件 " + path});
        QVERIFY(entries(dir.path()).isEmpty());

        // Swapped for an encrypted file: not encrypted twice.
        QVERIFY(writeAll(path, "plain"));
        QVERIFY(!form.isFileEncrypted(path));
        QVERIFY(writeAll(path + ".new", cipher));
        QVERIFY(::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()) == 0);
        QCOMPARE(form.encryptFile(path, path), -1);
        QCOMPARE(logrecorder::takeLines().last(), QStringLiteral("加密：文件被加密过，无法再加密"));
        QCOMPARE(readAll(path), cipher);

        // Swapped for a plain file before decryption: left as it is.
        QVERIFY(form.isFileEncrypted(path));
        QVERIFY(writeAll(path, "plain again"));
        QCOMPARE(form.decryptFile(path, path), -1);
        QCOMPARE(logrecorder::takeLines().last(), QStringLiteral("解密：文件未被加密过，无法解密"));
        QCOMPARE(readAll(path), QByteArray("plain again"));

        // Swapped for a pipe with no writer: refused without waiting.
        QVERIFY(!form.isFileEncrypted(path));
        QVERIFY(QFile::remove(path));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QCOMPARE(form.encryptFile(path, path), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList{"加密：无法打开文件 " + path});
        QCOMPARE(entries(dir.path()), QStringList{"file.txt"});
        QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
    }
};

QTEST_MAIN(TestPathFaults)
#include "tst_pathfaults.moc"
