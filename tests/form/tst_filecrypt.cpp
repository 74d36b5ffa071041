// Encrypting and decrypting files in place: format, oracle, log lines.
#include "FileTestUtils.h"
#include "LogRecorder.h"
#include "form/Form.h"

#include <QComboBox>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace vaultine;

using namespace filetest;

class TestFileCrypt : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void init() { logrecorder::clear(); }

    void blockEdges_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 15, 16, 17, 31, 32, 33, 4096 + 7})
            QTest::addRow("%d bytes", size) << size;
    }

    void blockEdges()
    {
        QFETCH(int, size);
        QByteArray plain(size, '\0');
        QRandomGenerator rng(quint32(size) + 1);
        for (char &c : plain)
            c = char(rng.bounded(256));
        if (size > 0)
            plain[size - 1] = 'x'; // no trailing space: must round-trip exactly
        const QString file = path(QString("edge%1.bin").arg(size));
        QVERIFY(write(file, plain));

        Form form;
        QCOMPARE(form.encryptFile(file, file), 0);
        const QByteArray encrypted = read(file);
        const int padded = (size + 15) / 16 * 16;
        QCOMPARE(encrypted.size(), 17 + padded);
        QCOMPARE(encrypted.left(17), header());
        QVERIFY(form.isFileEncrypted(file));
        if (haveOpenssl())
            QCOMPARE(encrypted.mid(17).toHex(), openssl(spacePadded(plain), false).toHex());
        QCOMPARE(logrecorder::takeLines(), QStringList{QString("加密：文件大小：%1").arg(size)});

        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(read(file), plain);
        QVERIFY(!form.isFileEncrypted(file));
        QCOMPARE(logrecorder::takeLines(), QStringList{QString("解密：文件大小：%1").arg(17 + padded)});
        QCOMPARE(entries(m_dir.path()), QStringList{QString("edge%1.bin").arg(size)});
        QFile::remove(file);
    }

    void severalChunksMatchTheOracle()
    {
        // Crosses the streaming chunk boundaries; the chain must run on.
        QByteArray plain(9 * 1024 * 1024 + 5, '\0');
        QRandomGenerator rng(7);
        rng.fillRange(reinterpret_cast<quint32 *>(plain.data()), plain.size() / 4);
        plain[plain.size() - 1] = 'z';
        const QString file = path("big.bin");
        QVERIFY(write(file, plain));
        Form form;
        QCOMPARE(form.encryptFile(file, file), 0);
        const QByteArray encrypted = read(file);
        if (haveOpenssl())
            QVERIFY(encrypted.mid(17) == openssl(spacePadded(plain), false));
        QCOMPARE(form.decryptFile(file, file), 0);
        QVERIFY(read(file) == plain);
    }

    void decryptsWhatOpensslEncrypted()
    {
        if (!haveOpenssl())
            QSKIP("openssl command not installed");
        const QByteArray plain = "Bytes from elsewhere\n\0\x01 end.";
        const QString file = path("foreign.bin");
        QVERIFY(write(file, header() + openssl(spacePadded(plain), false)));
        Form form;
        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(read(file), plain);
    }

    void trailingSpaces()
    {
        Form form;
        struct Case
        {
            QByteArray plain, back;
            bool warned;
        };
        const Case cases[] = {
            {"abc  ", "abc", true},
            {" ", " ", false},                // 15 padding spaces, first byte kept
            {QByteArray(16, ' '), " ", true}, // no padding, 15 own spaces go
            {QByteArray(17, ' '), QByteArray(17, ' '), false},
            {"sixteen bytes!! ", "sixteen bytes!!", true},
            {QByteArray("zero\0", 5), QByteArray("zero\0", 5), false}, // files keep zero bytes
        };
        for (const Case &c : cases) {
            const QString file = path("spaces.txt");
            QVERIFY(write(file, c.plain));
            QCOMPARE(form.encryptFile(file, file), 0);
            const QStringList lines = logrecorder::takeLines();
            QCOMPARE(lines.first(), QString("加密：文件大小：%1").arg(c.plain.size()));
            QCOMPARE(lines.contains("加密：警告：文件以空格结尾，解密后结尾的空格会丢失"), c.warned);
            if (c.warned)
                QCOMPARE(lines.size(), 2);
            QCOMPARE(form.decryptFile(file, file), 0);
            QCOMPARE(read(file), c.back);
            logrecorder::clear();
        }
    }

    void refusals()
    {
        Form form;
        const QString file = path("plain.txt");
        QVERIFY(write(file, "hello"));
        QCOMPARE(form.decryptFile(file, file), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList({"解密：文件大小：5", "解密：文件未被加密过，无法解密"}));
        QCOMPARE(read(file), QByteArray("hello"));

        QCOMPARE(form.encryptFile(file, file), 0);
        const QByteArray once = read(file);
        logrecorder::clear();
        QCOMPARE(form.encryptFile(file, file), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList({"加密：文件大小：33", "加密：文件被加密过，无法再加密"}));
        QCOMPARE(read(file), once);

        // The header's zero byte counts: anything else is plain data.
        QVERIFY(write(file, QByteArray("has been encrypt!") + QByteArray(16, 'x')));
        QVERIFY(!form.isFileEncrypted(file));
        QCOMPARE(form.decryptFile(file, file), -1);
        // Sixteen header bytes only: too short to be encrypted.
        QVERIFY(write(file, header().left(16)));
        QCOMPARE(form.decryptFile(file, file), -1);
        logrecorder::clear();

        // Header plus a broken last block: refused, untouched.
        const QByteArray broken = header() + QByteArray(21, 'c');
        QVERIFY(write(file, broken));
        QVERIFY(form.isFileEncrypted(file));
        QCOMPARE(form.decryptFile(file, file), -1);
        QCOMPARE(logrecorder::takeLines(),
                 QStringList({"解密：文件大小：38", "解密：密文长度不是16字节的整数倍，文件已损坏，无法解密"}));
        QCOMPARE(read(file), broken);

        // Any file that happens to start with the header counts as encrypted.
        QVERIFY(write(file, header() + "anything"));
        QVERIFY(form.isFileEncrypted(file));
    }

    void missingInput()
    {
        Form form;
        const QString missing = path("nothing here.txt");
        QCOMPARE(form.encryptFile(missing, missing), -1);
        QCOMPARE(form.decryptFile(missing, missing), -1);
        QVERIFY(!form.isFileEncrypted(missing));
        QCOMPARE(logrecorder::takeLines(),
                 QStringList({"加密：无法打开文件 " + QDir::toNativeSeparators(missing),
                              "解密：无法打开输入文件 " + QDir::toNativeSeparators(missing)}));
        QVERIFY(!QFile::exists(missing));
    }

    void separateOutputPath()
    {
        Form form;
        const QString in = path("in.txt"), out = path("out.bin"), back = path("back.txt");
        QVERIFY(write(in, "separate files"));
        QCOMPARE(form.encryptFile(in, out), 0);
        QCOMPARE(read(in), QByteArray("separate files"));
        QCOMPARE(form.decryptFile(out, back), 0);
        QCOMPARE(read(back), QByteArray("separate files"));
    }

    void unicodePathsAndSpaces()
    {
        Form form;
        QDir(m_dir.path()).mkdir("文件 夹");
        const QString file = path("文件 夹/机密 文件 😀.txt");
        const QByteArray plain = QString("中文内容").toUtf8();
        QVERIFY(write(file, plain));
        QCOMPARE(form.encryptFile(file, file), 0);
        QVERIFY(form.isFileEncrypted(file));
        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(read(file), plain);
    }

    void symlinkStaysALinkAndPermissionsStay()
    {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut (.lnk) on Windows; tst_winfilesystem tests links and attributes there");
#endif
        Form form;
        const QString target = path("target.txt"), link = path("link.txt");
        QVERIFY(write(target, "through a link"));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::link(target, link));
        QCOMPARE(form.encryptFile(link, link), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
        QVERIFY(form.isFileEncrypted(target));
        const QFile::Permissions classes = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                           | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther
                                           | QFile::ExeOther;
        QCOMPARE(QFile::permissions(target) & classes, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QCOMPARE(form.decryptFile(link, link), 0);
        QCOMPARE(read(target), QByteArray("through a link"));
    }

    void unknownAlgorithmPassesBytesThrough()
    {
        Form form;
        auto *combo = form.findChild<QComboBox *>("comboBox");
        combo->setEditable(true);
        combo->setEditText("DES");
        const QString file = path("identity.txt");
        QVERIFY(write(file, "abc"));
        QCOMPARE(form.encryptFile(file, file), 0);
        QCOMPARE(read(file), header() + "abc" + QByteArray(13, ' '));
        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(read(file), QByteArray("abc"));
    }
};

QTEST_MAIN(TestFileCrypt)
#include "tst_filecrypt.moc"
