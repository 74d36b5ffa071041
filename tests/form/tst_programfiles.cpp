// The files of the running program are never rewritten: its executable, the
// programs and libraries beside it and its plug-ins, however they are named
// (a link, a hard link), chosen in the dialog, dropped alone or in a folder.
// Each refusal names the file; in a batch it counts as failed.
#include "FormDriver.h"
#include "LogRecorder.h"
#include "filesystem/ProgramFiles.h"
#include "form/Form.h"

#include <QCryptographicHash>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vaultine;

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace formdriver;

namespace {

const QString kEncryptRefused =
    QStringLiteral("加密：这是Keystrel程序自己的文件，加密后程序将无法运行，原文件保持不变 ");
const QString kDecryptRefused =
    QStringLiteral("解密：这是Keystrel程序自己的文件，解密后程序将无法运行，原文件保持不变 ");

// A program folder as an install has it, and a file of the user's in it.
struct ProgramFolder
{
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString executable() const { return path(QStringLiteral("Keystrel.exe")); }
    QStringList own() const
    {
        return {executable(),
                path(QStringLiteral("keystrel-cli.exe")),
                path(QStringLiteral("Uninstall.exe")),
                path(QStringLiteral("Qt5Widgets.dll")),
                path(QStringLiteral("libQt5Core.so.5")),
                path(QStringLiteral("Plugin/Hubstone.dll")),
                path(QStringLiteral("Plugin/deeper/anything.txt")),
                path(QStringLiteral("platforms/qwindows.dll"))};
    }
    QString users() const { return path(QStringLiteral("notes.txt")); }

    bool make()
    {
        if (!dir.isValid())
            return false;
        for (const QString &file : own() + QStringList(users())) {
            QDir().mkpath(QFileInfo(file).absolutePath());
            if (!write(file, "program bytes of " + QFileInfo(file).fileName().toUtf8()))
                return false;
        }
        programfiles::protect(executable());
        return true;
    }
};

QByteArray hashes(const QStringList &files)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &file : files)
        hash.addData(read(file));
    return hash.result();
}

} // namespace

class TestProgramFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { logrecorder::clear(); }
    void cleanup() { programfiles::protect(QString()); }

    void ownFilesAreNoted()
    {
        ProgramFolder program;
        QVERIFY(program.make());
        QCOMPARE(programfiles::count(), program.own().size());
        programfiles::protect(QString());
        QCOMPARE(programfiles::count(), 0);
    }

    void chosenOrDroppedAloneIsRefused()
    {
        ProgramFolder program;
        QVERIFY(program.make());
        const QByteArray before = hashes(program.own());
        Form form;
        form.show();
        const QString dll = program.path(QStringLiteral("Qt5Widgets.dll"));

        FileDialogAnswer chosen(program.path(QStringLiteral("Uninstall.exe")));
        QTest::mouseClick(form.findChild<QPushButton *>("encryptfile_pushButton"), Qt::LeftButton);
        QVERIFY(chosen.answered);
        QCOMPARE(
            logrecorder::takeLines(),
            QStringList(kEncryptRefused + QDir::toNativeSeparators(program.path(QStringLiteral("Uninstall.exe")))));

        QVERIFY(drop(&form, localUrls({dll})));
        QCOMPARE(logrecorder::takeLines(), QStringList(kEncryptRefused + QDir::toNativeSeparators(dll)));

        // Decrypting one is refused too, and so is writing the output into one.
        QCOMPARE(form.decryptFile(dll, dll), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList(kDecryptRefused + QDir::toNativeSeparators(dll)));
        QCOMPARE(form.encryptFile(program.users(), dll), -1);
        QCOMPARE(logrecorder::takeLines(), QStringList(kEncryptRefused + QDir::toNativeSeparators(dll)));
        QCOMPARE(hashes(program.own()), before);

        // The user's file beside them is the user's.
        QCOMPARE(form.encryptFile(program.users(), program.users()), 0);
        QVERIFY(read(program.users()).startsWith(header()));
    }

    // The program's folder dropped whole: every file of its own fails with
    // its line, the user's file is encrypted.
    void inABatchEachCountsAsFailed()
    {
        ProgramFolder program;
        QVERIFY(program.make());
        const QByteArray before = hashes(program.own());
        Form form;
        form.show();
        QVERIFY(drop(&form, localUrls({program.dir.path()})));
        const QStringList lines = logrecorder::lines();
        for (const QString &file : program.own())
            QVERIFY2(lines.contains(kEncryptRefused + QDir::toNativeSeparators(file)), qPrintable(file));
        QVERIFY(lines.last().startsWith(
            QStringLiteral("批量加密完成：加密1个，跳过0个，失败%1个。失败的文件：").arg(program.own().size())));
        QCOMPARE(hashes(program.own()), before);
        QVERIFY(read(program.users()).startsWith(header()));
    }

#ifdef Q_OS_UNIX
    // Another name for one of them is the same file.
    void linksAndHardLinksAreKnownByTheFile()
    {
        ProgramFolder program;
        QTemporaryDir elsewhere;
        QVERIFY(program.make());
        const QString plugin = program.path(QStringLiteral("Plugin/Hubstone.dll"));
        const QString link = elsewhere.filePath(QStringLiteral("link.dll"));
        const QString hard = elsewhere.filePath(QStringLiteral("hard.exe"));
        QVERIFY(QFile::link(plugin, link));
        QVERIFY(::link(QFile::encodeName(program.executable()).constData(), QFile::encodeName(hard).constData()) == 0);
        const QString spelled = program.path(QStringLiteral("Plugin/../Plugin/./Hubstone.dll"));
        const QByteArray before = hashes(program.own());
        Form form;
        for (const QString &name : {link, hard, spelled}) {
            QCOMPARE(form.encryptFile(name, name), -1);
            QCOMPARE(logrecorder::takeLines(), QStringList(kEncryptRefused + QDir::toNativeSeparators(name)));
        }
        QVERIFY(drop(&form, localUrls({elsewhere.path()})));
        QVERIFY2(logrecorder::lines().last().startsWith(QStringLiteral("批量加密完成：加密0个，跳过0个，失败")),
                 qPrintable(logrecorder::lines().join('\n')));
        QCOMPARE(hashes(program.own()), before);
    }
#endif
};

QTEST_MAIN(TestProgramFiles)
#include "tst_programfiles.moc"
