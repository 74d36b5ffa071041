// The installed program as a desktop without a session sees it: installed
// into a fresh prefix, with HOME and the XDG folders of a new user, asked
// through xdg-utils and GIO which types Keystrel opens, and an encrypted file
// opened with xdg-open. The prefix has no blank: xdg-open's own reading of
// desktop entries splits at blanks, quoted or not.
#include "KeystrelRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kEncrypted = QByteArray("has been encrypt\0", 17) + QByteArray(16, 'x');
const QString kType = QStringLiteral("application/x-keystrel-encrypted");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix;
    QTemporaryDir m_home;
    QProcessEnvironment m_env;

    // Standard output of a tool run as the new user's desktop would run it.
    QString ask(const QString &tool, const QStringList &arguments, int *exitCode = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.setWorkingDirectory(m_home.path());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(tool, arguments);
        if (!process.waitForFinished(5 * 60 * 1000)) // only against a hang
            process.kill();
        process.waitForFinished();
        if (exitCode)
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    QString contentType(const QString &path)
    {
        const QString info = ask("gio", {"info", "-a", "standard::content-type", path});
        return info.section("standard::content-type: ", 1).trimmed();
    }

private slots:
    void initTestCase()
    {
        for (const char *tool :
             {"xdg-mime", "xdg-open", "gio", "mimetype", "update-mime-database", "update-desktop-database"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing (scripts/install-deps.sh test installs it)").arg(tool)));
        }
        QVERIFY(m_prefix.isValid() && m_home.isValid());
        QByteArray said;
        QVERIFY2(
            installBuild(QStringLiteral(KEYSTREL_CMAKE), QStringLiteral(KEYSTREL_BUILD_DIR), m_prefix.path(), &said),
            said.constData());

        // A new user outside any desktop session: xdg-utils take their
        // generic way, GIO reads files only.
        m_env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
                                 "WAYLAND_DISPLAY", "BROWSER", "DBUS_SESSION_BUS_ADDRESS", "LD_PRELOAD"})
            m_env.remove(name);
        m_env.insert("HOME", m_home.path());
        m_env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        m_env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        m_env.insert("XDG_DATA_DIRS", m_prefix.filePath(KEYSTREL_DATADIR) + ":/usr/share");
        m_env.insert("GIO_USE_VFS", "local");
        m_env.insert("DISPLAY", ":0"); // xdg-open opens files only "with a display"
    }

    // A text file or a folder opened from a file manager never reaches
    // Keystrel, nor does any other file.
    void ordinaryFilesAndFoldersAreNotClaimed()
    {
        for (const char *type :
             {"text/plain", "inode/directory", "application/octet-stream", "text/x-python", "application/json"}) {
            QVERIFY2(!ask("xdg-mime", {"query", "default", type}).contains("keystrel"), type);
            const QString gio = ask("gio", {"mime", type});
            QVERIFY2(!gio.contains("keystrel.desktop"), qPrintable(QLatin1String(type) + ": " + gio));
        }
    }

    // Known by the header, whatever the name; Keystrel opens them.
    void encryptedFilesHaveTheirOwnType()
    {
        const QString report = m_home.filePath("report");
        const QString letter = m_home.filePath("letter.txt");
        const QString plain = m_home.filePath("plain");
        QVERIFY(writeFile(report, kEncrypted) && writeFile(letter, kEncrypted));
        QVERIFY(writeFile(plain, "has been encrypt, but only in words\n"));

        QCOMPARE(contentType(report), kType);
        QCOMPARE(ask("xdg-mime", {"query", "filetype", report}), kType);
        QCOMPARE(contentType(plain), QStringLiteral("text/plain"));
        // The header outranks the name's pattern where magic of high
        // priority comes first (mimetype, which xdg-mime asks); GIO decides
        // by a unique pattern alone, as the shared MIME database recommends.
        QCOMPARE(ask("xdg-mime", {"query", "filetype", letter}), kType);
        QCOMPARE(contentType(letter), QStringLiteral("text/plain"));

        QCOMPARE(ask("xdg-mime", {"query", "default", kType}), QStringLiteral("keystrel.desktop"));
        QVERIFY(ask("gio", {"mime", kType}).startsWith("Default application for “" + kType + "”: keystrel.desktop"));
        const QString icon = ask("gio", {"info", "-a", "standard::icon", report});
        QVERIFY2(icon.contains("application-x-keystrel-encrypted"), qPrintable(icon));
    }

    // xdg-open runs the desktop entry's Exec line as it reads it: the
    // program starts, hands the file to the open window, and it decrypts.
    void xdgOpenDecryptsAnEncryptedFile()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString file = work.filePath("secret");
        const QByteArray plain("nobody may read this\n");
        QVERIFY(writeFile(file, plain));
        int encrypted = -1;
        ask(m_prefix.filePath(KEYSTREL_BINDIR "/keystrel-cli"), {"-q", "encrypt", file}, &encrypted);
        QCOMPARE(encrypted, 0);

        KeystrelOptions options;
        options.expect = QStringList{"解密文件已输出到:" + file};
        KeystrelProcess window;
        window.start(m_prefix.filePath(KEYSTREL_BINDIR "/keystrel"), work.path(), "expect", options);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(work.filePath("ready")), 120000);

        int exitCode = -1;
        ask("xdg-open", {file}, &exitCode);
        QCOMPARE(exitCode, 0);
        const KeystrelRun run = window.finish();
        QVERIFY2(run.failures().isEmpty(), qPrintable(run.report.join('\n') + '\n' + run.standardError));
        QVERIFY(run.report.contains("ok expected lines in the log pane"));
        QFile decrypted(file);
        QVERIFY(decrypted.open(QIODevice::ReadOnly));
        QCOMPARE(decrypted.readAll(), plain);
    }

    // "Open with" from the desktop only ever decrypts: a plain file opened
    // with Keystrel stays as it is, an encrypted one beside it is decrypted.
    void openWithLeavesPlainFilesAlone()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString plainFile = work.filePath("plain.txt"), locked = work.filePath("locked");
        const QByteArray plain("an ordinary file\n");
        QVERIFY(writeFile(plainFile, plain) && writeFile(locked, plain));
        int encrypted = -1;
        ask(m_prefix.filePath(KEYSTREL_BINDIR "/keystrel-cli"), {"-q", "encrypt", locked}, &encrypted);
        QCOMPARE(encrypted, 0);

        KeystrelOptions options;
        options.expect = QStringList{"文件:" + plainFile + "已经未加密，不再解密", "解密文件已输出到:" + locked};
        KeystrelProcess window;
        window.start(m_prefix.filePath(KEYSTREL_BINDIR "/keystrel"), work.path(), "expect", options);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(work.filePath("ready")), 120000);

        int exitCode = -1;
        ask("gio", {"launch", m_prefix.filePath(KEYSTREL_DATADIR "/applications/keystrel.desktop"), plainFile, locked},
            &exitCode);
        QCOMPARE(exitCode, 0);
        const KeystrelRun run = window.finish();
        QVERIFY2(run.failures().isEmpty(), qPrintable(run.report.join('\n') + '\n' + run.standardError));
        QVERIFY(run.report.contains("ok expected lines in the log pane"));
        for (const QString &file : {plainFile, locked}) {
            QFile now(file);
            QVERIFY(now.open(QIODevice::ReadOnly));
            QCOMPARE(now.readAll(), plain);
        }
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
