// A file operation killed with SIGKILL at exact moments: the path holds
// either the complete old file or the complete new one, and a later run
// finishes (or undoes) the work. Kill points are chosen by the tool's hooks
// (tool/FsHooks.h), not by timing.
#include "ToolRun.h"
#include "form/Form.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"

using namespace vaultine;

namespace {

using testfiles::readAll;
using testfiles::writeAll;

// What a kill left beside the file, hidden names included.
QStringList strays(const QString &folder, const QString &fileName)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(fileName);
    return names;
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

    QByteArray m_plain;
    QByteArray m_encrypted;

private slots:
    void initTestCase()
    {
        // Three chunks each way (4 MiB, 4 MiB and a part), ending in a byte
        // that is not a space so that decryption gives back every byte.
        QRandomGenerator random(20240611);
        m_plain.resize(8 * 1024 * 1024 + 777);
        for (char &c : m_plain)
            c = char(random.bounded(256));
        m_plain.back() = 'z';

        QTemporaryDir dir;
        const QString path = dir.filePath("reference.bin");
        QVERIFY(writeAll(path, m_plain));
        Form form;
        QCOMPARE(form.encryptFile(path, path), 0);
        m_encrypted = readAll(path);
        QCOMPARE(m_encrypted.size(), 17 + (m_plain.size() + 15) / 16 * 16);
    }

    void killed_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("hook");
        QTest::addColumn<bool>("noTmpfile");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<bool>("longName");

        // Reads and writes interleave chunk by chunk; the replacement gets a
        // name only just before it is renamed over the path, unless the file
        // system has no unnamed temporary files.
        const QStringList before{"read:1", "read:3", "write:2", "write:3", "sync:1", "rename:1"};
        for (const QString operation : {"encrypt", "decrypt"}) {
            for (const bool noTmpfile : {false, true}) {
                const char *mode = noTmpfile ? "named temporary" : "unnamed temporary";
                for (const QString &hook : before)
                    QTest::addRow("%s, %s, %s", qPrintable(operation), mode, qPrintable(hook))
                        << operation << hook << noTmpfile << false << false;
                if (!noTmpfile)
                    QTest::addRow("%s, %s, link:1", qPrintable(operation), mode)
                        << operation << "link:1" << noTmpfile << false << false;
                QTest::addRow("%s, %s, renamed:1", qPrintable(operation), mode)
                    << operation << "renamed:1" << noTmpfile << true << false;
            }
            // A name too long for a suffix takes another way to its replacement.
            for (const QString &hook : before)
                QTest::addRow("%s, 250-byte name, %s", qPrintable(operation), qPrintable(hook))
                    << operation << hook << false << false << true;
            QTest::addRow("%s, 250-byte name, renamed:1", qPrintable(operation))
                << operation << "renamed:1" << false << true << true;
        }
    }

    void killed()
    {
        QFETCH(QString, operation);
        QFETCH(QString, hook);
        QFETCH(bool, noTmpfile);
        QFETCH(bool, replaced);
        QFETCH(bool, longName);
        const bool encrypt = operation == "encrypt";
        const QByteArray &oldBytes = encrypt ? m_plain : m_encrypted;
        const QByteArray &newBytes = encrypt ? m_encrypted : m_plain;

        QTemporaryDir dir;
        const QString name = longName ? QString(246, QLatin1Char('n')) + ".bin" : QStringLiteral("data.bin");
        const QString path = dir.filePath(name);
        QVERIFY(writeAll(path, oldBytes));

        toolrun::Options options;
        options.hook = hook + ":kill";
        options.noTmpfile = noTmpfile;
        const toolrun::Outcome killed = toolrun::run(operation, path, options);
        QVERIFY2(killed.hookFired, qPrintable(killed.lines.join('\n')));
        QVERIFY(killed.killed);

        // Never a mixture: the old bytes until the rename, the new ones after.
        const QByteArray now = readAll(path);
        QVERIFY(now == oldBytes || now == newBytes);
        QCOMPARE(now == newBytes, replaced);

        // A kill may leave the replacement under a temporary name beside the
        // file: always a beginning of the new content, never the file, and
        // hidden, so that folder batches pass over it.
        const QStringList left = strays(dir.path(), name);
        const QRegularExpression strayName("^\\.keystrel-[A-Za-z0-9]{6}$");
        for (const QString &stray : left) {
            QVERIFY2(strayName.match(stray).hasMatch(), qPrintable(stray));
            QVERIFY(newBytes.startsWith(readAll(dir.filePath(stray))));
        }
        // With unnamed temporary files only the moment between naming the
        // replacement and renaming it can leave one.
        const bool named = hook == "link:1" || hook == "rename:1";
        if (!noTmpfile && !longName)
            QCOMPARE(!left.isEmpty(), named);
        qInfo("%s after %s: %s; left beside it: %s", qPrintable(operation), qPrintable(hook),
              replaced ? "new file" : "old file", left.isEmpty() ? "nothing" : qPrintable(left.join(", ")));

        // A later run completes the interrupted work, or undoes the completed
        // one; a stray file was never renamed, so it is redundant: removed,
        // and the log says so.
        const QString again = replaced ? (encrypt ? "decrypt" : "encrypt") : operation;
        const toolrun::Outcome rerun = toolrun::run(again, path);
        QCOMPARE(rerun.result, 0);
        QVERIFY(readAll(path) == (replaced ? oldBytes : newBytes));
        QVERIFY(strays(dir.path(), name).isEmpty());
        for (const QString &stray : left)
            QVERIFY2(rerun.lines.contains(QStringLiteral("已删除中断的加解密留下的临时文件（原文件未被改动）：")
                                          + dir.filePath(stray)),
                     qPrintable(rerun.lines.join('\n')));
    }

    // The same file killed over and over at successive writes still ends up
    // whole once a run is allowed to finish.
    void repeatedKills()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.bin");
        QVERIFY(writeAll(path, m_plain));
        for (int write = 1; write <= 4; ++write) {
            toolrun::Options options;
            options.hook = QStringLiteral("write:%1:kill").arg(write);
            const toolrun::Outcome outcome = toolrun::run("toggle", path, options);
            QVERIFY(outcome.killed);
            QVERIFY(readAll(path) == m_plain);
        }
        QCOMPARE(toolrun::run("toggle", path).result, 0);
        QVERIFY(readAll(path) == m_encrypted);
        QCOMPARE(strays(dir.path(), "data.bin"), QStringList());
    }
};

QTEST_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
