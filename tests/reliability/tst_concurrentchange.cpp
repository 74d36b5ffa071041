// Another program changes, replaces or removes the file while it is being
// encrypted or decrypted in place. The rewrite must not put content derived
// from the old file over what the other program left: it is refused, the
// path keeps the other program's result, and the log says why. The moments
// are exact: the tool's hooks act from inside its own reads and writes.
#include "ToolRun.h"
#include "form/Form.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"

using namespace vaultine;

namespace {

using testfiles::readAll;
using testfiles::writeAll;

// Three chunks: 4 MiB, 4 MiB and a part.
QByteArray largePlain()
{
    QByteArray plain(8 * 1024 * 1024 + 300, 'p');
    for (int i = 0; i < plain.size(); i += 997)
        plain[i] = char('a' + i % 26);
    return plain;
}

} // namespace

class TestConcurrentChange : public QObject
{
    Q_OBJECT

    QByteArray m_plain;
    QByteArray m_encrypted;

private slots:
    void initTestCase()
    {
        m_plain = largePlain();
        QTemporaryDir dir;
        const QString path = dir.filePath("reference");
        QVERIFY(writeAll(path, m_plain));
        Form form;
        QCOMPARE(form.encryptFile(path, path), 0);
        m_encrypted = readAll(path);
    }

    void changedMeanwhile_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("hook");

        // Encryption reads: 1 first chunk, 2 the last byte, 3 and 4 the rest.
        // Its writes: 1 the header, 2 to 4 the chunks; the last write comes
        // after the last read, and the first sync of the result comes before
        // the rename. Decryption reads the header first.
        QTest::newRow("encrypt, another program saves a new version") << "encrypt"
                                                                      << "read:1:replace";
        QTest::newRow("encrypt, the file is cut short while read") << "encrypt"
                                                                   << "read:1:truncate";
        QTest::newRow("encrypt, bytes appended after the last read") << "encrypt"
                                                                     << "write:4:append";
        QTest::newRow("encrypt, bytes appended while the result is synced") << "encrypt"
                                                                            << "sync:1:append";
        QTest::newRow("encrypt, the file is deleted") << "encrypt"
                                                      << "read:3:unlink";
        QTest::newRow("decrypt, another program saves a new version") << "decrypt"
                                                                      << "read:2:replace";
        QTest::newRow("decrypt, the file is cut short while read") << "decrypt"
                                                                   << "read:2:truncate";
        QTest::newRow("decrypt, the file is deleted") << "decrypt"
                                                      << "read:2:unlink";
    }

    void changedMeanwhile()
    {
        QFETCH(QString, operation);
        QFETCH(QString, hook);
        const bool encrypt = operation == "encrypt";

        QTemporaryDir dir;
        const QString path = dir.filePath("shared.txt");
        QVERIFY(writeAll(path, encrypt ? m_plain : m_encrypted));

        toolrun::Options options;
        options.hook = hook;
        const toolrun::Outcome outcome = toolrun::run(operation, path, options);
        QVERIFY(outcome.hookFired);
        QVERIFY(!outcome.killed);

        // What the other program left at the path, read before anything else
        // could be written there.
        const QByteArray otherResult = readAll(path);
        QVERIFY2(otherResult != (encrypt ? m_encrypted : m_plain), "the rewrite went over the other program's change");
        QCOMPARE(outcome.result, -1);
        const QString literal = encrypt ? QStringLiteral("加密：文件在加密过程中被其他程序修改，原文件保持不变 ")
                                        : QStringLiteral("解密：文件在解密过程中被其他程序修改，原文件保持不变 ");
        QCOMPARE(outcome.lines.last(), literal + path);

        // The other program's doing stands, and nothing is left beside it.
        if (hook.endsWith("unlink")) {
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        } else {
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{"shared.txt"});
        }
        if (hook.endsWith("replace"))
            QCOMPARE(otherResult, QByteArray("a newer version saved by another program\n"));
        if (hook.endsWith("truncate"))
            QCOMPARE(otherResult.size(), 1000);
        if (hook.endsWith("append"))
            QVERIFY(otherResult.endsWith("appended by another program\n"));
    }

    // Appending while the reading is still going on is no harm: the new
    // bytes are read too, and the result holds all of them.
    void appendedBeforeTheEndIsRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("growing.txt");
        QVERIFY(writeAll(path, m_plain));
        toolrun::Options options;
        options.hook = "read:1:append";
        const toolrun::Outcome outcome = toolrun::run("encrypt", path, options);
        QVERIFY(outcome.hookFired);
        const QByteArray grown = m_plain + "appended by another program\n";
        if (outcome.result == 0) {
            QCOMPARE(toolrun::run("decrypt", path).result, 0);
            QCOMPARE(readAll(path), grown);
        } else {
            // Refusing it as changed is just as safe.
            QCOMPARE(readAll(path), grown);
        }
    }
};

QTEST_MAIN(TestConcurrentChange)
#include "tst_concurrentchange.moc"
