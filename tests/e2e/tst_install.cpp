// `cmake --install` into a fresh prefix: the program, its plug-ins, the
// launcher in bin, the desktop entry and its icon, the file managers'
// actions, the AppStream entry; then the installed program started through bin, as a desktop
// would start it.
#include "KeystrelRun.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

// The keys of a group of a desktop file, values as written.
QMap<QString, QString> desktopEntry(const QString &path, const QString &group = QStringLiteral("Desktop Entry"))
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QMap<QString, QString> keys;
    bool inGroup = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('['))
            inGroup = line == '[' + group + ']';
        else if (inGroup && line.contains('='))
            keys.insert(line.section('=', 0, 0), line.section('=', 1));
    }
    return keys;
}

// The program of an Exec value: string escapes first, then the quoting of
// arguments, then the field code %% (a Nemo action has none).
QString execProgram(const QString &value, bool fieldCodes = true)
{
    QString unescaped;
    for (int i = 0; i < value.size(); ++i) {
        if (value.at(i) == '\\' && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            unescaped += next == 's' ? QChar(' ') : next;
        } else {
            unescaped += value.at(i);
        }
    }
    QString program;
    if (unescaped.startsWith('"')) {
        for (int i = 1; i < unescaped.size() && unescaped.at(i) != '"'; ++i)
            program += unescaped.at(i) == '\\' && i + 1 < unescaped.size() ? unescaped.at(++i) : unescaped.at(i);
    } else {
        program = unescaped.section(' ', 0, 0);
    }
    return fieldCodes ? program.replace(QLatin1String("%%"), QLatin1String("%")) : program;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    // Blanks and a percent sign in the prefix: the desktop entry must quote.
    QTemporaryDir m_prefix{QDir::tempPath() + QStringLiteral("/keystrel 100% prefix-XXXXXX")};
    QString m_programDir;

    QString inPrefix(const QString &relative) const { return m_prefix.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QByteArray said;
        QVERIFY2(
            installBuild(QStringLiteral(KEYSTREL_CMAKE), QStringLiteral(KEYSTREL_BUILD_DIR), m_prefix.path(), &said),
            said.constData());
        m_programDir = inPrefix(QStringLiteral(KEYSTREL_INSTALL_DIR));
    }

    void programAndPluginsSitTogether()
    {
        const QFileInfo program(m_programDir + "/Keystrel");
        QVERIFY(program.isFile() && program.isExecutable());
        for (const char *plugin : {"Hubstone.so", "Vaultine.so"})
            QVERIFY2(QFileInfo(m_programDir + "/Plugin/" + plugin).isFile(), plugin);
    }

    void launcherInBinIsALinkToTheProgram()
    {
        const QFileInfo launcher(inPrefix(QStringLiteral(KEYSTREL_BINDIR "/keystrel")));
        QVERIFY(launcher.isSymLink());
        // Relative, so the installed tree can be moved as a whole.
        char target[4096];
        const ssize_t length = ::readlink(QFile::encodeName(launcher.filePath()).constData(), target, sizeof target);
        QVERIFY(length > 0);
        QVERIFY(QDir::isRelativePath(QFile::decodeName(QByteArray(target, int(length)))));
        QCOMPARE(launcher.canonicalFilePath(), QFileInfo(m_programDir + "/Keystrel").canonicalFilePath());
    }

    void desktopEntryStartsTheLauncherWithTheIcon()
    {
        const QString entryPath = inPrefix(QStringLiteral(KEYSTREL_DATADIR "/applications/keystrel.desktop"));
        QVERIFY(QFileInfo(entryPath).isFile());
        const QMap<QString, QString> entry = desktopEntry(entryPath);
        QCOMPARE(entry.value("Type"), QStringLiteral("Application"));
        QCOMPARE(entry.value("Name"), QStringLiteral("Keystrel"));
        const QString launcher = inPrefix(QStringLiteral(KEYSTREL_BINDIR "/keystrel"));
        QCOMPARE(execProgram(entry.value("Exec")), launcher);
        // Files and folders from "Open with", all at once, and only ever
        // decrypted; quoted, for the blank in the prefix.
        QVERIFY(entry.value("Exec").endsWith("\" --decrypt %F"));
        // The opener of encrypted files alone: no type that ordinary files
        // or folders have.
        QCOMPARE(entry.value("MimeType"), QStringLiteral("application/x-keystrel-encrypted;"));
        QCOMPARE(entry.value("StartupWMClass"), QStringLiteral("Keystrel"));
        QCOMPARE(entry.value("TryExec"), launcher);
        QCOMPARE(entry.value("Terminal"), QStringLiteral("false"));
        QVERIFY(entry.value("Categories").split(';').contains("Utility"));
        QCOMPARE(entry.value("Icon"), QStringLiteral("keystrel"));

        // The quoting survives the validator, blanks and percent sign too.
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (!validator.isEmpty()) {
            QProcess validate;
            validate.setProcessChannelMode(QProcess::MergedChannels);
            validate.start(validator, {entryPath});
            QVERIFY(validate.waitForFinished(60000));
            const QByteArray complaints = validate.readAll();
            QVERIFY2(validate.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
        }

        for (const char *path : {KEYSTREL_DATADIR "/icons/hicolor/scalable/apps/keystrel.svg", KEYSTREL_DATADIR
                                 "/icons/hicolor/scalable/mimetypes/application-x-keystrel-encrypted.svg"}) {
            QImageReader icon(inPrefix(QString::fromUtf8(path)));
            icon.setScaledSize(QSize(48, 48));
            const QImage image = icon.read();
            QVERIFY2(!image.isNull(), qPrintable(icon.errorString()));
            QCOMPARE(image.size(), QSize(48, 48));
        }
    }

    // The type of encrypted files, and the prefix's MIME database built
    // from it where the tool is there.
    void encryptedFileTypeIsInstalled()
    {
        QFile package(inPrefix(QStringLiteral(KEYSTREL_DATADIR "/mime/packages/keystrel.xml")));
        QVERIFY(package.open(QIODevice::ReadOnly));
        const QString xml = QString::fromUtf8(package.readAll());
        QVERIFY(xml.contains("<mime-type type=\"application/x-keystrel-encrypted\">"));
        QVERIFY(xml.contains("<comment xml:lang=\"zh_CN\">Keystrel 加密文件</comment>"));
        QVERIFY(xml.contains("<match type=\"string\" offset=\"0\" value=\"has been encrypt\\0\"/>"));
        if (QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QSKIP("update-mime-database is missing (scripts/install-deps.sh test installs it)");
        QVERIFY(QFileInfo(inPrefix(QStringLiteral(KEYSTREL_DATADIR "/mime/mime.cache"))).isFile());
    }

    void fileManagerActionsStartTheLauncher()
    {
        const QString launcher = inPrefix(QStringLiteral(KEYSTREL_BINDIR "/keystrel"));
        const QString dolphin = inPrefix(QStringLiteral(KEYSTREL_DATADIR "/kio/servicemenus/keystrel.desktop"));
        QCOMPARE(desktopEntry(dolphin).value("Actions"), QStringLiteral("keystrelEncrypt;keystrelDecrypt;"));
        const QString actionsDir = inPrefix(QStringLiteral(KEYSTREL_DATADIR "/nemo/actions/"));
        // Each action says its direction on the command line.
        const QStringList names{"Encrypt with Keystrel", "Decrypt with Keystrel"};
        const QStringList groups{"Desktop Action keystrelEncrypt", "Desktop Action keystrelDecrypt"};
        const QStringList directions{"encrypt", "decrypt"};
        for (int i = 0; i < 2; ++i) {
            const QString &name = names.at(i);
            const QString &direction = directions.at(i);
            const QString option = QStringLiteral("\" --%1 %F").arg(direction);
            const QMap<QString, QString> action = desktopEntry(dolphin, groups.at(i));
            QCOMPARE(action.value("Name"), name);
            QCOMPARE(execProgram(action.value("Exec")), launcher);
            QVERIFY2(action.value("Exec").endsWith(option), qPrintable(action.value("Exec")));

            const QString nemo = actionsDir + QStringLiteral("keystrel-%1-%2.nemo_action").arg(i + 1).arg(direction);
            const QMap<QString, QString> nemoAction = desktopEntry(nemo, "Nemo Action");
            QCOMPARE(nemoAction.value("Name"), name);
            QCOMPARE(execProgram(nemoAction.value("Exec"), false), launcher);
            QVERIFY(nemoAction.value("Exec").endsWith(option));
            QCOMPARE(nemoAction.value("Quote"), QStringLiteral("double")); // each path one argument
        }
        // The toggling action is gone, and Nemo lists encrypt first, by name.
        QVERIFY(!QFileInfo::exists(actionsDir + "keystrel.nemo_action"));
        QCOMPARE(QDir(actionsDir).entryList(QDir::Files, QDir::Name),
                 QStringList({"keystrel-1-encrypt.nemo_action", "keystrel-2-decrypt.nemo_action"}));
    }

    // PCManFM's and Caja's actions quote the launcher as the desktop entry
    // does (their Exec is a command line too, % taken as a field code).
    void fileManagerActionsEntriesStartTheLauncher()
    {
        const QString launcher = inPrefix(QStringLiteral(KEYSTREL_BINDIR "/keystrel"));
        const QString folder = inPrefix(QStringLiteral(KEYSTREL_DATADIR "/file-manager/actions/"));
        QCOMPARE(desktopEntry(folder + "keystrel.desktop").value("ItemsList"),
                 QStringLiteral("keystrel-encrypt;keystrel-decrypt;"));
        for (const char *direction : {"encrypt", "decrypt"}) {
            const QString path = folder + QStringLiteral("keystrel-%1.desktop").arg(QLatin1String(direction));
            const QString profile = desktopEntry(path).value("Profiles").section(';', 0, 0);
            const QString exec = desktopEntry(path, "X-Action-Profile " + profile).value("Exec");
            QCOMPARE(execProgram(exec), launcher);
            QVERIFY2(exec.endsWith(QStringLiteral("\" --%1 %F").arg(QLatin1String(direction))), qPrintable(exec));
        }
        // The AppStream entry went into the prefix as well.
        QVERIFY(!QDir(inPrefix(QStringLiteral(KEYSTREL_DATADIR "/metainfo")))
                     .entryList({"*.metainfo.xml"}, QDir::Files)
                     .isEmpty());
    }

    void installedProgramRunsFromBin()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const KeystrelRun run = runKeystrel(inPrefix(QStringLiteral(KEYSTREL_BINDIR "/keystrel")), work.path(), "smoke",
                                            KeystrelOptions{{}, {}, {}, {"KEYSTREL_LOG_TO_STDERR=1"}});
        QVERIFY(run.started);
        QVERIFY2(run.failures().isEmpty(), qPrintable(run.failures().join('\n') + '\n' + run.standardError));
        QVERIFY(run.report.contains("ok form in its tab"));
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        // The plug-ins came from the prefix, not from the build tree.
        const QString pluginDir = QFileInfo(m_programDir + "/Plugin").canonicalFilePath();
        QVERIFY2(run.standardError.contains(("插件目录：" + pluginDir).toUtf8()), run.standardError.constData());
    }
};

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
