// The Debian package as a user gets it: built by CPack from this build,
// its file list and control fields, its documents, its desktop files checked
// by desktop-file-validate, its AppStream entry by appstreamcli, its binaries'
// hardening, and the program unpacked into a temporary root encrypting a file
// named on its command line. Lintian takes longer and runs in
// scripts/check-package.sh.
#include "KeystrelRun.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Command
{
    int exitCode = -1;
    QByteArray output; // standard output and error together
};

Command run(const QString &program, const QStringList &arguments, const QString &workDir = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    Command result;
    // Only a guard against a hang.
    if (!process.waitForFinished(10 * 60 * 1000)) {
        process.kill();
        process.waitForFinished();
    }
    result.output = process.readAll();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

// The keys of one group of a desktop file, values as written.
QMap<QString, QString> group(const QString &path, const QString &name)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> keys;
    bool inGroup = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('['))
            inGroup = line == '[' + name + ']';
        else if (inGroup && line.contains('='))
            keys.insert(line.section('=', 0, 0), line.section('=', 1));
    }
    return keys;
}

QByteArray gunzip(const QString &path)
{
    return run("gzip", {"-dc", path}).output;
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_out;  // where CPack writes
    QTemporaryDir m_root; // the package unpacked
    QString m_package;
    QString m_arch;

    QString inRoot(const QString &path) const { return m_root.path() + path; }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps", "desktop-file-validate", "gzip"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing (scripts/install-deps.sh test installs it)").arg(tool)));
        }
        QVERIFY(m_out.isValid() && m_root.isValid());
        m_arch = QString::fromLatin1(run("dpkg", {"--print-architecture"}).output.trimmed());
        QVERIFY(!m_arch.isEmpty());

        const Command cpack = run(KEYSTREL_CPACK, {"-G", "DEB", "-B", m_out.path()}, KEYSTREL_BUILD_DIR);
        QVERIFY2(cpack.exitCode == 0, cpack.output.constData());
        m_package = m_out.filePath(QStringLiteral("keystrel_%1_%2.deb").arg(KEYSTREL_VERSION, m_arch));
        QVERIFY2(QFileInfo(m_package).isFile(), cpack.output.constData());

        const Command unpack = run("dpkg-deb", {"-x", m_package, m_root.path()});
        QVERIFY2(unpack.exitCode == 0, unpack.output.constData());
    }

    void filesUnderUsrOwnedByRoot()
    {
        const Command list = run("dpkg-deb", {"-c", m_package});
        QCOMPARE(list.exitCode, 0);
        // "perms owner size date time path[ -> target]"
        QMap<QString, QString> modes;
        QMap<QString, QString> links;
        for (const QString &line : QString::fromUtf8(list.output).split('\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
            QVERIFY2(fields.size() >= 6, qPrintable(line));
            QCOMPARE(fields.at(1), QStringLiteral("root/root"));
            const QString path = fields.at(5);
            QVERIFY2(path == "./" || path.startsWith("./usr/"), qPrintable(path));
            modes.insert(path, fields.at(0));
            if (fields.size() == 8 && fields.at(6) == "->")
                links.insert(path, fields.at(7));
        }
        QCOMPARE(links.value("./usr/bin/keystrel"), QStringLiteral("../lib/keystrel/Keystrel"));
        QCOMPARE(modes.value("./usr/lib/keystrel/Keystrel"), QStringLiteral("-rwxr-xr-x"));
        QCOMPARE(modes.value("./usr/bin/keystrel-cli"), QStringLiteral("-rwxr-xr-x"));
        for (const char *plugin : {"Hubstone.so", "Vaultine.so"})
            QCOMPARE(modes.value(QStringLiteral("./usr/lib/keystrel/Plugin/") + plugin), QStringLiteral("-rw-r--r--"));
        for (const char *file :
             {"./usr/share/applications/keystrel.desktop", "./usr/share/icons/hicolor/scalable/apps/keystrel.svg",
              "./usr/share/kio/servicemenus/keystrel.desktop",
              "./usr/share/nemo/actions/keystrel-1-encrypt.nemo_action",
              "./usr/share/nemo/actions/keystrel-2-decrypt.nemo_action", "./usr/share/mime/packages/keystrel.xml",
              "./usr/share/icons/hicolor/scalable/mimetypes/application-x-keystrel-encrypted.svg",
              "./usr/share/man/man1/keystrel.1.gz", "./usr/share/man/man1/keystrel-cli.1.gz",
              "./usr/share/doc/keystrel/copyright", "./usr/share/doc/keystrel/changelog.gz"})
            QVERIFY2(modes.value(file) == QLatin1String("-rw-r--r--"), file);
        // The system's MIME database is rebuilt by its own trigger, never
        // shipped.
        QVERIFY(!modes.contains("./usr/share/mime/mime.cache"));
        QVERIFY(!modes.contains("./usr/share/applications/mimeinfo.cache"));
    }

    void controlFields()
    {
        const Command fields = run("dpkg-deb", {"-f", m_package});
        QCOMPARE(fields.exitCode, 0);
        QMap<QString, QString> control;
        QString description;
        for (const QString &line : QString::fromUtf8(fields.output).split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith(' '))
                description += line + '\n';
            else
                control.insert(line.section(": ", 0, 0), line.section(": ", 1));
        }
        QCOMPARE(control.value("Package"), QStringLiteral("keystrel"));
        QCOMPARE(control.value("Version"), QStringLiteral(KEYSTREL_VERSION));
        QCOMPARE(control.value("Architecture"), m_arch);
        QCOMPARE(control.value("Section"), QStringLiteral("utils"));
        QCOMPARE(control.value("Priority"), QStringLiteral("optional"));
        QVERIFY(control.value("Maintainer").contains(QRegularExpression("^[^<]+ <[^@>]+@[^>]+>$")));
        // Computed from the binaries, plus the SVG plug-in Qt loads itself.
        const QString depends = control.value("Depends");
        for (const char *package : {"libc6", "libqt5core5a", "libqt5widgets5", "libqt5network5", "libqt5svg5"})
            QVERIFY2(depends.contains(QRegularExpression(QStringLiteral("(^|, )%1( |,|$)").arg(package))),
                     qPrintable(depends));
        QCOMPARE(control.value("Recommends"), QStringLiteral("fonts-wqy-zenhei | fonts-noto-cjk"));
        QVERIFY(!control.value("Description").isEmpty());
        QVERIFY(description.count('\n') >= 3);
    }

    void documents()
    {
        QFile copyright(inRoot("/usr/share/doc/keystrel/copyright"));
        QVERIFY(copyright.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(copyright.readAll());
        QVERIFY(text.startsWith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
        for (const char *files : {"Files: host/resources/fonts/Roboto-*.ttf", "Files: host/resources/icons/*"})
            QVERIFY2(text.contains(QLatin1String(files) + QLatin1Char('\n')), files);
        QCOMPARE(text.count("License: Apache-2.0\n"), 3); // two uses and the text

        // The changelog's newest entry is this version.
        QVERIFY(gunzip(inRoot("/usr/share/doc/keystrel/changelog.gz"))
                    .startsWith("keystrel (" KEYSTREL_VERSION ") unstable; urgency="));
        QVERIFY(gunzip(inRoot("/usr/share/man/man1/keystrel.1.gz")).startsWith(".TH KEYSTREL 1 "));
    }

    // Every desktop file through desktop-file-validate. Dolphin's service
    // menu is a KDE service (Type=Service): the validator knows that type
    // only by name and objects to the keys it takes; nothing else may be
    // wrong with it.
    void desktopFilesValidate()
    {
        const QString application = inRoot("/usr/share/applications/keystrel.desktop");
        const QString serviceMenu = inRoot("/usr/share/kio/servicemenus/keystrel.desktop");
        const Command entry = run("desktop-file-validate", {application});
        QVERIFY2(entry.exitCode == 0 && entry.output.isEmpty(), entry.output.constData());
        const Command menu = run("desktop-file-validate", {serviceMenu});
        const QStringList complaints = QString::fromUtf8(menu.output).split('\n', Qt::SkipEmptyParts);
        for (const QString &line : complaints)
            QVERIFY2(line.contains("but the type is \"Service\" while this key is only valid for type \"Application\""),
                     qPrintable(line));
        QCOMPARE(complaints.size(), 2); // MimeType and Actions

        // Opens encrypted files only, by a path every launcher reads (xdg-open
        // takes no quotes), and only ever decrypts: a plain file opened with
        // it stays as it is. Then the actions on files and folders.
        const QMap<QString, QString> app = group(application, "Desktop Entry");
        QCOMPARE(app.value("Exec"), QStringLiteral("/usr/bin/keystrel --decrypt %F"));
        QCOMPARE(app.value("MimeType"), QStringLiteral("application/x-keystrel-encrypted;"));
        const QMap<QString, QString> menuEntry = group(serviceMenu, "Desktop Entry");
        QCOMPARE(menuEntry.value("Type"), QStringLiteral("Service"));
        QCOMPARE(menuEntry.value("MimeType"), QStringLiteral("application/octet-stream;inode/directory;"));
        QCOMPARE(menuEntry.value("Actions"), QStringLiteral("keystrelEncrypt;keystrelDecrypt;"));
        const QStringList names{"用 Keystrel 加密", "用 Keystrel 解密"};
        const QStringList englishNames{"Encrypt with Keystrel", "Decrypt with Keystrel"};
        const QStringList directions{"encrypt", "decrypt"};
        for (int i = 0; i < 2; ++i) {
            const QString exec = QStringLiteral("/usr/bin/keystrel --%1 %F").arg(directions.at(i));
            const QMap<QString, QString> menuAction =
                group(serviceMenu, i == 0 ? "Desktop Action keystrelEncrypt" : "Desktop Action keystrelDecrypt");
            QCOMPARE(menuAction.value("Name"), englishNames.at(i));
            QCOMPARE(menuAction.value("Name[zh_CN]"), names.at(i));
            QCOMPARE(menuAction.value("Name[zh_TW]"), names.at(i));
            QCOMPARE(menuAction.value("Exec"), exec);
            const QMap<QString, QString> nemo =
                group(inRoot(QStringLiteral("/usr/share/nemo/actions/keystrel-%1-%2.nemo_action")
                                 .arg(i + 1)
                                 .arg(directions.at(i))),
                      "Nemo Action");
            QCOMPARE(nemo.value("Name"), englishNames.at(i));
            QCOMPARE(nemo.value("Name[zh_CN]"), names.at(i));
            QCOMPARE(nemo.value("Exec"), exec);
            QCOMPARE(nemo.value("Extensions"), QStringLiteral("nodirs;dir;"));
            QCOMPARE(nemo.value("Selection"), QStringLiteral("notnone"));
        }
    }

    // Qt's Chinese texts come from a package the binaries do not link.
    void dependsOnQtsTranslation()
    {
        const Command fields = run("dpkg-deb", {"-f", m_package, "Depends"});
        QCOMPARE(fields.exitCode, 0);
        const QString depends = QString::fromUtf8(fields.output).trimmed();
        QVERIFY2(depends.contains(QRegularExpression("(^|, )qttranslations5-l10n( |,|$)")), qPrintable(depends));
        QVERIFY(QFileInfo(QStringLiteral("/usr/share/qt5/translations/qtbase_zh_CN.qm")).isFile());
    }

    // The localised names and comments: English first, Chinese for zh_CN and
    // zh_TW (a Taiwanese locale falls back to English, not to zh_CN).
    void entriesSpeakTheUsersLanguage()
    {
        const QMap<QString, QString> app = group(inRoot("/usr/share/applications/keystrel.desktop"), "Desktop Entry");
        QCOMPARE(app.value("GenericName"), QStringLiteral("Text and File Encryption"));
        QCOMPARE(app.value("GenericName[zh_CN]"), QStringLiteral("文本和文件加密"));
        QCOMPARE(app.value("GenericName[zh_TW]"), QStringLiteral("文字與檔案加密"));
        QCOMPARE(app.value("Comment[zh_TW]"), QStringLiteral("加密解密文字、檔案和資料夾"));
        QCOMPARE(app.value("Keywords"), QStringLiteral("encrypt;decrypt;AES;"));
        QVERIFY(app.value("Keywords[zh_CN]").startsWith(QStringLiteral("加密;解密;")));
        const QStringList directions{"encrypt", "decrypt"};
        const QStringList english{"Encrypt", "Decrypt"};
        const QStringList chinese{"加密", "解密"};
        for (int i = 0; i < 2; ++i) {
            const QMap<QString, QString> nemo =
                group(inRoot(QStringLiteral("/usr/share/nemo/actions/keystrel-%1-%2.nemo_action")
                                 .arg(i + 1)
                                 .arg(directions.at(i))),
                      "Nemo Action");
            QCOMPARE(nemo.value("Comment"), english.at(i) + QStringLiteral(" the selected files and folders in place"));
            QCOMPARE(nemo.value("Comment[zh_CN]"), chinese.at(i) + QStringLiteral("选中的文件和文件夹"));
            QCOMPARE(nemo.value("Comment[zh_TW]"), chinese.at(i) + QStringLiteral("選取的檔案和資料夾"));
        }
    }

    // PCManFM (libfm) and Caja: a FileManager-Actions menu that lists the
    // two actions, encryption first, each action under the id the menu
    // names.
    void fileManagerActionsForLibfmAndCaja()
    {
        const QString folder = inRoot("/usr/share/file-manager/actions/");
        const QMap<QString, QString> menu = group(folder + "keystrel.desktop", "Desktop Entry");
        QCOMPARE(menu.value("Type"), QStringLiteral("Menu"));
        QCOMPARE(menu.value("Name"), QStringLiteral("Keystrel"));
        QCOMPARE(menu.value("ItemsList"), QStringLiteral("keystrel-encrypt;keystrel-decrypt;"));
        QCOMPARE(menu.value("Icon"), QStringLiteral("keystrel"));
        const QStringList directions{"encrypt", "decrypt"};
        const QStringList english{"Encrypt with Keystrel", "Decrypt with Keystrel"};
        const QStringList chinese{"用 Keystrel 加密", "用 Keystrel 解密"};
        for (int i = 0; i < 2; ++i) {
            const QString path = folder + QStringLiteral("keystrel-%1.desktop").arg(directions.at(i));
            const QMap<QString, QString> action = group(path, "Desktop Entry");
            QCOMPARE(action.value("Type"), QStringLiteral("Action"));
            QCOMPARE(action.value("Name"), english.at(i));
            QCOMPARE(action.value("Name[zh_CN]"), chinese.at(i));
            QCOMPARE(action.value("Name[zh_TW]"), chinese.at(i));
            QCOMPARE(action.value("Icon"), QStringLiteral("keystrel"));
            const QString profileName = action.value("Profiles").section(';', 0, 0);
            QVERIFY(!profileName.isEmpty());
            const QMap<QString, QString> profile = group(path, "X-Action-Profile " + profileName);
            // Files and folders alike, one or many, all in one start.
            QCOMPARE(profile.value("MimeTypes"), QStringLiteral("all/all;"));
            QCOMPARE(profile.value("SelectionCount"), QStringLiteral(">0"));
            QCOMPARE(profile.value("Exec"), QStringLiteral("/usr/bin/keystrel --%1 %F").arg(directions.at(i)));
        }
    }

    // What software centres read: the AppStream entry, valid offline, naming
    // the desktop entry it describes and the type of encrypted files.
    void appstreamEntryValidates()
    {
        const QStringList entries = QDir(inRoot("/usr/share/metainfo")).entryList({"*.metainfo.xml"}, QDir::Files);
        QCOMPARE(entries, QStringList{QStringLiteral(KEYSTREL_APPSTREAM_ID ".metainfo.xml")});
        QFile file(inRoot("/usr/share/metainfo/") + entries.first());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString xml = QString::fromUtf8(file.readAll());
        for (const char *part :
             {"<id>" KEYSTREL_APPSTREAM_ID "</id>", "<launchable type=\"desktop-id\">keystrel.desktop</launchable>",
              "<mediatype>application/x-keystrel-encrypted</mediatype>", "<project_license>",
              "<screenshot type=\"default\">", "<release version=\"" KEYSTREL_VERSION "\""})
            QVERIFY2(xml.contains(QLatin1String(part)), part);
        if (QStandardPaths::findExecutable("appstreamcli").isEmpty())
            QSKIP("appstreamcli is missing (scripts/install-deps.sh test installs appstream)");
        const Command validate = run("appstreamcli", {"validate", "--no-net", "--pedantic", file.fileName()});
        QVERIFY2(validate.exitCode == 0, validate.output.constData());
        // With its desktop entry and icon, as a software centre gathers them.
        const Command tree = run("appstreamcli", {"validate-tree", "--no-net", m_root.path()});
        QVERIFY2(tree.exitCode == 0, tree.output.constData());
    }

    // The hardening Debian builds with, on every binary: relro with
    // immediate binding, position-independent executables, the stack
    // protector and fortified libc calls.
    void binariesAreHardened()
    {
        if (!KEYSTREL_HARDENED)
            QSKIP("this build is not hardened (a sanitized build, or KEYSTREL_HARDENING=OFF)");
        if (QStandardPaths::findExecutable("readelf").isEmpty())
            QSKIP("readelf is missing (binutils)");
        const QStringList binaries{"/usr/lib/keystrel/Keystrel", "/usr/bin/keystrel-cli",
                                   "/usr/lib/keystrel/Plugin/Hubstone.so", "/usr/lib/keystrel/Plugin/Vaultine.so"};
        for (const QString &binary : binaries) {
            const QString path = inRoot(binary);
            const QString dynamic = QString::fromUtf8(run("readelf", {"-W", "--dynamic", path}).output);
            QVERIFY2(dynamic.contains(QRegularExpression("\\(FLAGS\\)\\s+BIND_NOW|\\(FLAGS_1\\)\\s+Flags:.* NOW")),
                     qPrintable(binary + ": no immediate binding\n" + dynamic));
            const QString segments = QString::fromUtf8(run("readelf", {"-W", "--segments", path}).output);
            QVERIFY2(segments.contains("GNU_RELRO"), qPrintable(binary + ": no relro"));
            const QString header = QString::fromUtf8(run("readelf", {"-W", "--file-header", path}).output);
            QVERIFY2(header.contains(QRegularExpression("Type:\\s+DYN")), qPrintable(binary + ": not PIE\n" + header));
            if (!binary.endsWith(".so"))
                QVERIFY2(dynamic.contains(QRegularExpression("\\(FLAGS_1\\)\\s+Flags:.* PIE")),
                         qPrintable(binary + ": not a PIE executable"));
            const QString symbols = QString::fromUtf8(run("readelf", {"-W", "--dyn-syms", path}).output);
            QVERIFY2(symbols.contains("__stack_chk_fail"), qPrintable(binary + ": no stack protector"));
        }
        if (!KEYSTREL_FORTIFIED)
            return; // fortified calls need the optimiser
        // Fortified calls where the compiler could not prove a call safe; the
        // other binaries have none such (debian/lintian-overrides says why).
        const QString core = QString::fromUtf8(
            run("readelf", {"-W", "--dyn-syms", inRoot("/usr/lib/keystrel/Plugin/Hubstone.so")}).output);
        QVERIFY2(core.contains(QRegularExpression("\\b__\\w+_chk\\b")), qPrintable(core));
        QFile overrides(inRoot("/usr/share/lintian/overrides/keystrel"));
        QVERIFY(overrides.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(overrides.readAll());
        for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
            if (!line.startsWith('#'))
                QVERIFY2(line.startsWith("keystrel: hardening-no-fortify-functions ["), qPrintable(line));
        }
    }

    void unpackedProgramEncryptsAFileFromItsCommandLine()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString file = work.filePath("from the package.txt");
        QFile plain(file);
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("packaged\n") == 9);
        plain.close();

        KeystrelOptions options;
        options.environment = QStringList{"KEYSTREL_LOG_TO_STDERR=1"}; // the lines checked on stderr
        options.arguments = QStringList{file};
        options.expect = QStringList{"加密文件已输出到:" + file};
        const KeystrelRun run = runKeystrel(inRoot("/usr/bin/keystrel"), work.path(), "expect", options);
        QVERIFY2(run.failures().isEmpty(), qPrintable(run.report.join('\n') + '\n' + run.standardError));
        QVERIFY(run.report.contains("ok expected lines in the log pane"));
        QCOMPARE(run.exitCode, 0);
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QVERIFY(plain.readAll().startsWith(QByteArray("has been encrypt\0", 17)));
        // Its plug-ins came from the unpacked tree.
        const QString plugins = QFileInfo(inRoot("/usr/lib/keystrel/Plugin")).canonicalFilePath();
        QVERIFY2(run.standardError.contains(("插件目录：" + plugins).toUtf8()), run.standardError.constData());
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
