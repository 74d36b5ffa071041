// The real Keystrel.exe and Hubstone.dll under Wine: the launcher loads the
// core plug-in, which hosts a plug-in from Plugin\ (its ShowLogFunc import
// resolved to Hubstone.dll beside it) and shows the window; a truncated or
// foreign DLL, or one others may write, is refused with a log line; a
// Plugin folder others may write is not loaded from at all; a second start
// hands over to the first; --quit-running closes the running window as its
// close button does, and waits for it. The program folder as the zip holds
// it, with nothing of the build's Qt in reach, draws the bundled SVG icons
// and has Qt speak Chinese.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <aclapi.h>
#include <algorithm>
#include <windows.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Adds "Everyone may write" to the entry's access control list.
bool grantEveryoneWrite(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!::CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize))
        return false;
    PACL old = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old,
                                nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = GENERIC_WRITE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
    PACL acl = nullptr;
    bool ok = ::SetEntriesInAclW(1, &access, old, &acl) == ERROR_SUCCESS;
    ok = ok
         && ::SetNamedSecurityInfoW(const_cast<LPWSTR>(name.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, acl, nullptr)
                == ERROR_SUCCESS;
    ::LocalFree(acl);
    ::LocalFree(descriptor);
    return ok;
}

// A program folder as the zip has it, with the probe plug-in in Plugin\.
struct ProgramFolder
{
    QTemporaryDir dir;
    QString plugins() const { return dir.filePath(QStringLiteral("Plugin")); }
    QString plugin(const QString &name) const { return plugins() + QLatin1Char('/') + name; }

    bool make()
    {
        return dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("Plugin"))
               && QFile::copy(QStringLiteral(KEYSTREL_EXE), dir.filePath(QStringLiteral("Keystrel.exe")))
               && QFile::copy(QStringLiteral(KEYSTREL_HUBSTONE), plugin(QStringLiteral("Hubstone.dll")))
               && QFile::copy(QStringLiteral(KEYSTREL_PROBE), plugin(QStringLiteral("Probe.dll")));
    }
};

struct Run
{
    int exitCode = -1;
    QString log;
    QStringList report;
};

// `stay`: the probe keeps the window until a drop reaches it.
QProcessEnvironment environmentFor(const QString &reportPath, bool stay = false)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KEYSTREL_LOG_TO_STDERR"), QStringLiteral("1"));
    environment.insert(QStringLiteral("KEYSTREL_WINPROBE_REPORT"), reportPath);
    environment.insert(QStringLiteral("KEYSTREL_WINPROBE_STAY"), stay ? QStringLiteral("1") : QString());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// Runs the program until the probe has reported and quit it.
Run runToEnd(const ProgramFolder &folder)
{
    Run run;
    const QString reportPath = folder.dir.filePath(QStringLiteral("report.txt"));
    QProcess process;
    process.setProcessEnvironment(environmentFor(reportPath));
    process.start(folder.dir.filePath(QStringLiteral("Keystrel.exe")), QStringList());
    if (!process.waitForFinished(240000))
        process.kill();
    process.waitForFinished(10000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.log = QString::fromUtf8(process.readAllStandardError());
    run.report = QString::fromUtf8(readAll(reportPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

// Starts a window that the probe keeps until a drop reaches it, and reads its
// log until the log has shown `last` or the program has ended.
QString startWindowUntil(QProcess &window, const ProgramFolder &folder, const QString &last,
                         const QStringList &arguments = QStringList())
{
    window.setProcessEnvironment(environmentFor(folder.dir.filePath(QStringLiteral("report.txt")), true));
    window.start(folder.dir.filePath(QStringLiteral("Keystrel.exe")), arguments);
    QString log;
    while (!log.contains(last) && window.state() != QProcess::NotRunning) {
        window.waitForReadyRead(1000);
        log += QString::fromUtf8(window.readAllStandardError());
    }
    return log;
}

// Runs the program until its log has shown `last`, then ends it: with no
// plug-in to quit it, the window would stay.
QString logUntil(const ProgramFolder &folder, const QString &last, const QStringList &arguments = QStringList())
{
    QProcess process;
    const QString log = startWindowUntil(process, folder, last, arguments);
    process.kill();
    process.waitForFinished(10000);
    return log + QString::fromUtf8(process.readAllStandardError());
}

// Copies the folder `from` with everything in it into `to`.
bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

// The environment of a user's start: no Qt of the build on the path, no
// plug-in folder of its own.
QProcessEnvironment withoutBuildQt(QProcessEnvironment environment)
{
    environment.remove(QStringLiteral("QT_PLUGIN_PATH"));
    environment.remove(QStringLiteral("WINEPATH"));
    QStringList path = environment.value(QStringLiteral("PATH")).split(QLatin1Char(';'));
    path.erase(std::remove_if(path.begin(), path.end(),
                              [](const QString &entry) { return entry.contains(QLatin1String("qt5-mingw64")); }),
               path.end());
    environment.insert(QStringLiteral("PATH"), path.join(QLatin1Char(';')));
    return environment;
}

QString skipped(const ProgramFolder &folder, const QString &name, const QString &why)
{
    return QStringLiteral("跳过：") + QDir::toNativeSeparators(folder.plugin(name)) + QStringLiteral("（") + why
           + QStringLiteral("）");
}

} // namespace

class TestWinLaunch : public QObject
{
    Q_OBJECT

private slots:
    void hostsPluginAndRefusesBrokenOnes()
    {
        ProgramFolder folder;
        QVERIFY(folder.make());
        const QByteArray probe = readAll(QStringLiteral(KEYSTREL_PROBE));
        QVERIFY(probe.size() > 1024);
        QVERIFY(writeAll(folder.plugin(QStringLiteral("Broken.dll")), probe.left(probe.size() / 2)));
        // The same DLL said to be for 32-bit x86.
        QByteArray foreign = probe;
        const quint32 peOffset = qFromLittleEndian<quint32>(foreign.constData() + 0x3C);
        qToLittleEndian<quint16>(0x014C, foreign.data() + peOffset + 4);
        QVERIFY(writeAll(folder.plugin(QStringLiteral("Foreign.dll")), foreign));
        QVERIFY(writeAll(folder.plugin(QStringLiteral("Open.dll")), probe));
        QVERIFY(grantEveryoneWrite(folder.plugin(QStringLiteral("Open.dll"))));

        const Run run = runToEnd(folder);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.log.contains(QStringLiteral("已加载插件：Probe（Probe.dll）")), qUtf8Printable(run.log));
        QVERIFY2(run.log.contains(QStringLiteral("Probe says hello")), qUtf8Printable(run.log));
        const QString notLoadable = QStringLiteral("不是可加载的库文件");
        QVERIFY2(run.log.contains(skipped(folder, QStringLiteral("Broken.dll"), notLoadable)), qUtf8Printable(run.log));
        QVERIFY2(run.log.contains(skipped(folder, QStringLiteral("Foreign.dll"), notLoadable)),
                 qUtf8Printable(run.log));
        QVERIFY2(run.log.contains(QStringLiteral("跳过：")
                                  + QDir::toNativeSeparators(folder.plugin(QStringLiteral("Open.dll")))
                                  + QStringLiteral("（可由 ")),
                 qUtf8Printable(run.log));
        QCOMPARE(run.log.count(QStringLiteral("已加载插件：")), 1);

        QVERIFY2(run.report.contains(QStringLiteral("window visible Keystrel")), qUtf8Printable(run.report.join('|')));
        QVERIFY2(run.report.contains(QStringLiteral("tab Probe")), qUtf8Printable(run.report.join('|')));
        QVERIFY(run.report.contains(QStringLiteral("probe parent shown")));
    }

    void folderOthersMayWriteIsNotLoadedFrom()
    {
        ProgramFolder folder;
        QVERIFY(folder.make());
        QVERIFY(grantEveryoneWrite(folder.plugins()));
        const QString log = logUntil(folder, QStringLiteral("插件目录中没有插件："));
        QVERIFY2(log.contains(QStringLiteral("跳过插件目录：") + QDir::toNativeSeparators(folder.plugins())
                              + QStringLiteral("（可由 ")),
                 qUtf8Printable(log));
        QVERIFY(!log.contains(QStringLiteral("已加载插件：")));
    }

    // What a user unpacks: the bundled SVG icons need Qt SVG's icon engine,
    // Qt's own texts its Chinese catalogue, both from the program's folder.
    void zipFolderDrawsSvgIconsAndQtSpeaksChinese()
    {
        QTemporaryDir dir;
        QVERIFY(copyTree(QStringLiteral(KEYSTREL_PROGRAM_FOLDER), dir.path()));
        QVERIFY(QFile::copy(QStringLiteral(KEYSTREL_PROBE), dir.filePath(QStringLiteral("Plugin/Probe.dll"))));
        // The tests draw off screen; the zip has the Windows platform alone.
        QVERIFY(QFile::copy(QStringLiteral(KEYSTREL_QT_OFFSCREEN),
                            dir.filePath(QStringLiteral("platforms/qoffscreen.dll"))));
        const QString reportPath = dir.filePath(QStringLiteral("report.txt"));
        QProcess process;
        process.setProcessEnvironment(withoutBuildQt(environmentFor(reportPath)));
        process.start(dir.filePath(QStringLiteral("Keystrel.exe")), QStringList());
        QVERIFY(process.waitForFinished(240000));
        const QString log = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitCode() == 0, qUtf8Printable(log));
        const QStringList report = QString::fromUtf8(readAll(reportPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(report.contains(QStringLiteral("window visible Keystrel")), qUtf8Printable(log));
        QVERIFY2(report.contains(QStringLiteral("svg icon drawn")), qUtf8Printable(report.join('|')));
        QVERIFY2(report.contains(QStringLiteral("qt text 取消")), qUtf8Printable(report.join('|')));
    }

    // qtmain hands main() its arguments in the ANSI code page: a name
    // outside it must still reach the window whole.
    void pathOutsideTheCodePageArrivesWhole()
    {
        ProgramFolder folder;
        QVERIFY(folder.make());
        const QString missing = folder.dir.filePath(QStringLiteral("信件\U0001F600.txt"));
        const QString log = logUntil(folder, QStringLiteral("路径不存在："), {QDir::toNativeSeparators(missing)});
        QVERIFY2(log.contains(QStringLiteral("路径不存在：") + QDir::toNativeSeparators(QDir::cleanPath(missing))),
                 qUtf8Printable(log));
    }

    // As Explorer's verbs write the command (`--encrypt -- "%1"`): after
    // "--" a name Qt would take for its own option is a path too, and a
    // name outside the code page still arrives whole.
    void namesAfterTheOptionsEndArePaths()
    {
        ProgramFolder folder;
        QVERIFY(folder.make());
        const QString outside = folder.dir.filePath(QStringLiteral("信件\U0001F600.txt"));
        const QStringList arguments{QStringLiteral("--encrypt"), QStringLiteral("-style"),
                                    QStringLiteral("windows"),   QStringLiteral("--"),
                                    QStringLiteral("-platform"), QDir::toNativeSeparators(outside),
                                    QStringLiteral("-reverse")};
        const QString reverse =
            QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("-reverse"))));
        const QString log = logUntil(folder, QStringLiteral("路径不存在：") + reverse, arguments);
        const QString platform =
            QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("-platform"))));
        QVERIFY2(log.contains(QStringLiteral("路径不存在：") + platform), qUtf8Printable(log));
        QVERIFY2(log.contains(QStringLiteral("路径不存在：") + QDir::toNativeSeparators(QDir::cleanPath(outside))),
                 qUtf8Printable(log));
        QVERIFY2(log.contains(QStringLiteral("路径不存在：") + reverse), qUtf8Printable(log));
    }

    // As Explorer's verbs start it: a second start hands its paths and their
    // direction to the running window, and ends with 0 without a window.
    void secondStartHandsOverToTheFirst()
    {
        ProgramFolder folder;
        QVERIFY(folder.make());
        const QString first = folder.dir.filePath(QStringLiteral("一.txt"));
        const QString second = folder.dir.filePath(QStringLiteral("two words.txt"));
        QVERIFY(writeAll(first, "1") && writeAll(second, "2"));
        const QString reportPath = folder.dir.filePath(QStringLiteral("report.txt"));

        QProcess window;
        startWindowUntil(window, folder, QStringLiteral("已加载插件："));
        QProcess later;
        later.setProcessEnvironment(environmentFor(reportPath));
        later.start(folder.dir.filePath(QStringLiteral("Keystrel.exe")),
                    {QStringLiteral("--decrypt"), QDir::toNativeSeparators(first), QDir::toNativeSeparators(second)});
        QVERIFY(later.waitForFinished(240000));
        const QString laterLog = QString::fromUtf8(later.readAllStandardError());
        QCOMPARE(later.exitCode(), 0);
        QVERIFY2(laterLog.contains(QStringLiteral("已交给正在运行的窗口：2 个路径")), qUtf8Printable(laterLog));
        QVERIFY2(!laterLog.contains(QStringLiteral("插件目录：")), qUtf8Printable(laterLog));

        // The probe quits the window once the drop reached it.
        QVERIFY(window.waitForFinished(240000));
        QCOMPARE(window.exitCode(), 0);
        const QStringList report = QString::fromUtf8(readAll(reportPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(report.contains(QStringLiteral("drop decrypt ") + first + QLatin1Char('|') + second),
                 qUtf8Printable(report.join('|')));
    }

    // As the installer asks it: with no window running there is nothing to
    // close (and no window of its own opens); a running window gets a close
    // event, as from its close button, and has ended when the start ends.
    void quitRunningClosesTheWindowAndWaitsForIt()
    {
        ProgramFolder folder;
        QVERIFY(folder.make());
        const QString reportPath = folder.dir.filePath(QStringLiteral("report.txt"));
        const auto quitRunning = [&] {
            QProcess closer;
            closer.setProcessEnvironment(environmentFor(reportPath));
            closer.start(folder.dir.filePath(QStringLiteral("Keystrel.exe")), {QStringLiteral("--quit-running")});
            closer.waitForFinished(240000);
            return Run{closer.exitCode(), QString::fromUtf8(closer.readAllStandardError()), {}};
        };
        Run alone = quitRunning();
        QCOMPARE(alone.exitCode, 0);
        QVERIFY2(alone.log.contains(QStringLiteral("没有正在运行的窗口")), qUtf8Printable(alone.log));
        QVERIFY2(!alone.log.contains(QStringLiteral("插件目录：")), qUtf8Printable(alone.log));

        QProcess window;
        QString log = startWindowUntil(window, folder, QStringLiteral("已加载插件："));
        const Run closed = quitRunning();
        QCOMPARE(closed.exitCode, 0);
        QVERIFY2(closed.log.contains(QStringLiteral("正在运行的窗口已关闭")), qUtf8Printable(closed.log));
        // Ended before the asking start did.
        QVERIFY(window.waitForFinished(0) || window.state() == QProcess::NotRunning);
        QCOMPARE(window.exitCode(), 0);
        log += QString::fromUtf8(window.readAllStandardError());
        QVERIFY2(log.contains(QStringLiteral("另一个程序请求关闭窗口")), qUtf8Printable(log));
        const QStringList report = QString::fromUtf8(readAll(reportPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(report.contains(QStringLiteral("window close event")), qUtf8Printable(report.join('|')));
    }
};

QTEST_GUILESS_MAIN(TestWinLaunch)
#include "tst_winlaunch.moc"
