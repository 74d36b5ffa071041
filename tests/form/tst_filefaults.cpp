// File system faults: every failure leaves the original byte for byte, says
// why in the log, and leaves no temporary file behind.
#include "FileTestUtils.h"
#include "LogRecorder.h"
#include "form/Form.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vaultine;

using namespace filetest;

class TestFileFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void init() { logrecorder::clear(); }

    void readOnlyFileIsNotReplaced()
    {
        if (::geteuid() == 0)
            QSKIP("root writes read-only files anyway");
        Form form;
        const QString file = path("readonly.txt");
        QVERIFY(write(file, "keep me"));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        QCOMPARE(form.encryptFile(file, file), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList({"加密：文件大小：7", "加密：无法输入打开文件 " + file}));
        QCOMPARE(read(file), QByteArray("keep me"));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }

    void readOnlyFolder()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders anyway");
        Form form;
        QDir(m_dir.path()).mkdir("locked");
        const QString file = path("locked/data.txt");
        QVERIFY(write(file, "locked data"));
        QVERIFY(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(form.encryptFile(file, file), -1);
        QCOMPARE(logrecorder::takeLines().last(), "加密：无法输入打开文件 " + file);
        QCOMPARE(read(file), QByteArray("locked data"));
        QCOMPARE(entries(path("locked")), QStringList{"data.txt"});
        QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void fullDisk()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString mountPoint = path("tiny");
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("this machine refuses to mount a tmpfs");
        const QString file = mountPoint + "/large.bin";
        // 700 KiB fit once, not twice: the replacement cannot be written.
        const QByteArray plain(700 * 1024, 'q');
        const bool written = write(file, plain);
        Form form;
        const int encrypted = written ? form.encryptFile(file, file) : 0;
        const QStringList lines = logrecorder::takeLines();
        const QByteArray after = read(file);
        const QStringList left = entries(mountPoint);
        ::umount(QFile::encodeName(mountPoint).constData());
        QVERIFY(written);
        QCOMPARE(encrypted, -1);
        QVERIFY2(lines.last().startsWith("加密：写入文件失败，原文件保持不变 " + file + "："),
                 qPrintable(lines.last()));
        QVERIFY(after == plain);
        QCOMPARE(left, QStringList{"large.bin"});
    }

    // A file of several chunks is written on a thread of its own: a write
    // that fails there, past the first chunks, still fails the whole file.
    void fullDiskWhileWritingAhead_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::newRow("encrypt") << true;
        QTest::newRow("decrypt") << false;
    }

    void fullDiskWhileWritingAhead()
    {
        QFETCH(bool, encrypt);
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString mountPoint = path(encrypt ? "small-e" : "small-d");
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=16m") != 0)
            QSKIP("this machine refuses to mount a tmpfs");
        // 10 MiB fit once, not twice; decryption starts from a file
        // encrypted elsewhere.
        QByteArray plain(10 * 1024 * 1024 + 5, '\0');
        for (int i = 0; i < plain.size(); ++i)
            plain[i] = char((quint32(i) * 7919u) >> 5);
        Form form;
        const QString outside = path(encrypt ? "ahead-e.bin" : "ahead-d.bin");
        const bool prepared = write(outside, plain) && (encrypt || form.encryptFile(outside, outside) == 0);
        const QByteArray before = read(outside);
        const QString file = mountPoint + "/large.bin";
        const bool written = prepared && write(file, before);
        logrecorder::clear();
        const int result = !written ? 0 : encrypt ? form.encryptFile(file, file) : form.decryptFile(file, file);
        const QStringList lines = logrecorder::takeLines();
        const QByteArray after = read(file);
        const QStringList left = entries(mountPoint);
        ::umount(QFile::encodeName(mountPoint).constData());
        QVERIFY(written);
        QCOMPARE(result, -1);
        const QString failed = encrypt ? "加密：写入文件失败，原文件保持不变 " : "解密：写入文件失败，原文件保持不变 ";
        QVERIFY2(lines.last().startsWith(failed + file + "："), qPrintable(lines.last()));
        QVERIFY(after == before);
        QCOMPARE(left, QStringList{"large.bin"});
    }

    void notRegularFiles()
    {
        Form form;
        // A FIFO must never block the caller waiting for a writer.
        const QString fifo = path("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(form.encryptFile(fifo, fifo), -1);
        QCOMPARE(form.decryptFile(fifo, fifo), -1);
        QVERIFY(!form.isFileEncrypted(fifo));

        const QString folder = path("a folder");
        QDir().mkpath(folder);
        QCOMPARE(form.encryptFile(folder, folder), -1);
        QVERIFY(QFileInfo(folder).isDir());

        const QString broken = path("broken link");
        QVERIFY(QFile::link(path("missing target"), broken));
        QCOMPARE(form.encryptFile(broken, broken), -1);
        QVERIFY(QFileInfo(broken).isSymLink());
        QVERIFY(!QFileInfo::exists(path("missing target")));

        QCOMPARE(logrecorder::takeLines(),
                 QStringList({"加密：无法打开文件 " + fifo, "解密：无法打开输入文件 " + fifo,
                              "加密：无法打开文件 " + folder, "加密：无法打开文件 " + broken}));
        QVERIFY(!form.isFileEncrypted("/dev/zero"));
    }

    void outputIntoMissingFolder()
    {
        Form form;
        const QString in = path("source.txt");
        QVERIFY(write(in, "source"));
        const QString out = path("no such folder/out.bin");
        QCOMPARE(form.encryptFile(in, out), -1);
        QCOMPARE(logrecorder::takeLines().last(), "加密：无法输入打开文件 " + out);
        QCOMPARE(form.encryptFile(in, in), 0);
        logrecorder::clear();
        QCOMPARE(form.decryptFile(in, out), -1);
        QCOMPARE(logrecorder::takeLines().last(), "解密：无法打开文件 " + out);
        QVERIFY(form.isFileEncrypted(in));
    }

    // What an interrupted rewrite left beside a file was never renamed: the
    // next rewrite in that folder removes it, says so, and does its own.
    void aLeftoverBesideTheFileIsRemoved()
    {
        QTemporaryDir dir;
        Form form;
        const QString file = dir.filePath("letter.txt"), leftover = dir.filePath(".keystrel-Q7x2Kp");
        QVERIFY(write(file, "letter") && write(leftover, "a plain copy of another file"));
        QCOMPARE(form.encryptFile(file, file), 0);
        QCOMPARE(logrecorder::takeLines(),
                 QStringList({"加密：文件大小：6", "已删除中断的加解密留下的临时文件（原文件未被改动）：" + leftover}));
        QCOMPARE(entries(dir.path()), QStringList{"letter.txt"});
        QVERIFY(form.isFileEncrypted(file));
    }
};

QTEST_MAIN(TestFileFaults)
#include "tst_filefaults.moc"
