// Folder batches as safe as single files: a new name is logged only once it
// is on disk, and a batch killed at any moment, several files in flight,
// leaves every file whole, old or new. What a kill leaves beside them is
// hidden, never taken for a user's file, and named by the next batch.
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

const QStringList kFiles{"a/1.txt", "a/2.txt", "b/3.txt", "b/4.txt", "5.txt", "6.txt", "big.bin"};

QStringList hiddenEntries(const QString &root)
{
    QStringList found;
    for (const QString &folder : {root, root + "/a", root + "/b"}) {
        for (const QString &name : QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot)) {
            if (name.startsWith('.'))
                found << folder + '/' + name;
        }
    }
    return found;
}

} // namespace

class TestBatchSafety : public QObject
{
    Q_OBJECT

    QHash<QString, QByteArray> m_plain;
    QHash<QString, QByteArray> m_encrypted;

    bool makeTree(const QString &root)
    {
        for (const QString &name : kFiles) {
            if (!QDir().mkpath(QFileInfo(root + '/' + name).absolutePath())
                || !writeAll(root + '/' + name, m_plain[name]))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        QRandomGenerator random(1208);
        QTemporaryDir dir;
        Form form;
        for (const QString &name : kFiles) {
            QByteArray bytes(name == "big.bin" ? 5 * 1024 * 1024 + 3 : 100 + name.size(), '\0');
            for (char &c : bytes)
                c = char(random.bounded(256));
            bytes.back() = 'z';
            m_plain[name] = bytes;
            const QString scratch = dir.filePath("scratch");
            QVERIFY(writeAll(scratch, bytes));
            QCOMPARE(form.encryptFile(scratch, scratch), 0);
            m_encrypted[name] = readAll(scratch);
        }
    }

    // Each "已输出到:" line comes after the rename and after the flush of the
    // folder that holds the new name.
    void namesOnDiskBeforeTheyAreLogged()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("tree"), other = dir.filePath("other");
        QVERIFY(makeTree(root) && makeTree(other));
        toolrun::Options options;
        options.trace = true;
        const QString single = other + "/5.txt";
        for (const QString &target : {single, root}) {
            const toolrun::Outcome outcome = toolrun::run("drop", target, options);
            QCOMPARE(outcome.result, 0);
            const QStringList &lines = outcome.lines;
            const QStringList outputs = lines.filter(QRegularExpression("^(加|解)密文件已输出到:"));
            QCOMPARE(outputs.size(), target == single ? 1 : kFiles.size());
            for (const QString &output : outputs) {
                const QString path = output.section(':', 1);
                const int logged = lines.indexOf(output);
                const int renamed = lines.indexOf("renamed: " + path);
                const int synced = lines.lastIndexOf("folder synced: " + QFileInfo(path).absolutePath(), logged);
                QVERIFY2(renamed >= 0 && renamed < synced && synced < logged, qPrintable(lines.join('\n')));
            }
        }
    }

    void killed_data()
    {
        QTest::addColumn<QString>("hook");
        QTest::addColumn<bool>("noTmpfile");
        QTest::addColumn<int>("replaced");
        for (const bool noTmpfile : {false, true}) {
            const char *mode = noTmpfile ? "named temporaries" : "unnamed temporaries";
            // Files are written ahead, flushed together, then renamed in
            // walk order.
            QTest::addRow("%s, while written", mode) << "write:5" << noTmpfile << 0;
            QTest::addRow("%s, before the group's flush", mode) << "syncfs:1" << noTmpfile << 0;
            QTest::addRow("%s, before the third rename", mode) << "anyrename:3" << noTmpfile << 2;
            QTest::addRow("%s, after the third rename", mode) << "anyrenamed:3" << noTmpfile << 3;
        }
    }

    void killed()
    {
        QFETCH(QString, hook);
        QFETCH(bool, noTmpfile);
        QFETCH(int, replaced);
        QTemporaryDir dir;
        const QString root = dir.filePath("tree");
        QVERIFY(makeTree(root));

        toolrun::Options options;
        options.hook = hook + ":kill";
        options.noTmpfile = noTmpfile;
        const toolrun::Outcome killed = toolrun::run("drop", root, options);
        QVERIFY2(killed.hookFired && killed.killed, qPrintable(killed.lines.join('\n')));

        // Every file whole: the first `replaced` in walk order new, the rest
        // old.
        for (int i = 0; i < kFiles.size(); ++i) {
            const QByteArray now = readAll(root + '/' + kFiles[i]);
            QVERIFY2(now == (i < replaced ? m_encrypted : m_plain)[kFiles[i]], qPrintable(kFiles[i]));
        }
        // Beside them at most hidden beginnings of new content.
        const QStringList strays = hiddenEntries(root);
        const QRegularExpression temporary("/\\.keystrel-[A-Za-z0-9]{6}$");
        for (const QString &stray : strays) {
            QVERIFY2(temporary.match(stray).hasMatch(), qPrintable(stray));
            const QByteArray bytes = readAll(stray);
            QVERIFY(std::any_of(kFiles.begin(), kFiles.end(),
                                [&](const QString &name) { return m_encrypted[name].startsWith(bytes); }));
        }
        if (!noTmpfile)
            QCOMPARE(strays.size(), hook.startsWith("anyrename:") ? 1 : 0);

        // Never renamed, they are redundant: the next drop removes them and
        // says so, and finishes the work one way or the other, by the first
        // file.
        const toolrun::Outcome again = toolrun::run("drop", root);
        QCOMPARE(again.result, 0);
        for (const QString &stray : strays)
            QVERIFY(
                again.lines.contains(QStringLiteral("已删除中断的加解密留下的临时文件（原文件未被改动）：") + stray));
        QVERIFY(hiddenEntries(root).isEmpty());
        QVERIFY(!again.lines.last().contains(QStringLiteral("留下的临时文件")));
        const bool backToPlain = replaced > 0;
        for (const QString &name : kFiles)
            QVERIFY2(readAll(root + '/' + name) == (backToPlain ? m_plain : m_encrypted)[name], qPrintable(name));
    }
};

QTEST_MAIN(TestBatchSafety)
#include "tst_batchsafety.moc"
