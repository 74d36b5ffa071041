// The launcher against a hostile "Plugin" folder: whatever sits there under
// the core plug-in's name, the launcher shows its one fixed box and exits
// with 0; it never crashes and never waits for anything. Beside the real
// core plug-in, a damaged library, or a plug-in or folder that other users
// can change, is refused with a log line: the window comes up all the same.
#include "LauncherRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(LauncherSetup)

namespace {

enum class Hostile {
    EmptyFile,
    OtherMachine,     // a 64-bit library for aarch64
    OtherClass,       // the same library marked as 32-bit
    SystemI386,       // a real 32-bit library, when one is installed
    Truncated,        // the first kilobyte of a real library
    TruncatedHaswell, // the same where Qt looks first on CPUs with AVX2
    BrokenHeaders,    // an ELF header whose program headers lie past the end
    Folder,
    LinkToItself,
    DanglingLink,
    LinkToDevice,
};

QByteArray realLibrary()
{
    QFile file(QStringLiteral(KEYSTREL_PROBE));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString systemI386Library()
{
    const QStringList found = QDir("/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux")
                                  .entryList({"libclang_rt.*-i386.so"}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/" + found.first();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Puts the hostile entry at Plugin/Hubstone.so under `root`.
bool plant(const QString &root, Hostile kind)
{
    const QString folder = root + "/Plugin";
    const QString core = folder + "/Hubstone.so";
    if (!QDir().mkpath(folder))
        return false;
    QByteArray elf = realLibrary();
    if (elf.size() < 64)
        return false;
    switch (kind) {
    case Hostile::EmptyFile:
        return writeAll(core, {});
    case Hostile::OtherMachine:
        elf[18] = char(0xb7); // e_machine: EM_AARCH64
        elf[19] = 0;
        return writeAll(core, elf);
    case Hostile::OtherClass:
        elf[4] = 1; // EI_CLASS: ELFCLASS32
        return writeAll(core, elf);
    case Hostile::SystemI386:
        return QFile::copy(systemI386Library(), core);
    case Hostile::Truncated:
        return writeAll(core, elf.left(1024));
    case Hostile::TruncatedHaswell:
        return writeAll(core, {}) && QDir().mkpath(folder + "/haswell")
               && writeAll(folder + "/haswell/Hubstone.so", elf.left(1024));
    case Hostile::BrokenHeaders: {
        QByteArray head = elf.left(64);
        head[32] = char(0xf0); // e_phoff far beyond the end of the file
        head[33] = char(0xff);
        head[56] = char(0xff); // e_phnum: many
        return writeAll(core, head);
    }
    case Hostile::Folder:
        return QDir().mkpath(core + "/inside");
    case Hostile::LinkToItself:
        return QFile::link(core, core);
    case Hostile::DanglingLink:
        return QFile::link(folder + "/gone.so", core);
    case Hostile::LinkToDevice:
        return QFile::link("/dev/zero", core);
    }
    return false;
}

void verifyFixedBox(const LauncherRun &run)
{
    QVERIFY2(run.finished, run.errorOutput.constData());
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!run.report.contains("atQuit"));
    const QJsonArray boxes = run.report.value("boxes").toArray();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().toObject().value("title").toString(), QString("Core Plugin加载异常"));
    QCOMPARE(boxes.first().toObject().value("text").toString(), QString("无法加载核心库"));
}

LauncherSetup existingFolder()
{
    LauncherSetup setup;
    setup.folder = LauncherSetup::Folder::Empty; // keeps what the test planted
    return setup;
}

constexpr uid_t kNobody = 65534;
constexpr uid_t kDaemon = 1;

QString builtPlugin(const QString &name)
{
    return qEnvironmentVariable("KEYSTREL_BIN_DIR") + "/Plugin/" + name;
}

// The real core and encryption plug-ins in `root`/Plugin.
bool plantRealPlugins(const QString &root)
{
    const QString folder = root + "/Plugin";
    return QDir().mkpath(folder) && QFile::copy(builtPlugin("Hubstone.so"), folder + "/Hubstone.so")
           && QFile::copy(builtPlugin("Vaultine.so"), folder + "/Vaultine.so");
}

bool changeMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

bool changeOwner(const QString &path, uid_t owner)
{
    return ::lchown(QFile::encodeName(path).constData(), owner, owner) == 0;
}

// The program ran and ended normally once its window was closed: no box, one
// window with these tabs, and `line` in its log.
void verifyWindow(const LauncherRun &run, const QStringList &tabs, const QString &line)
{
    QVERIFY2(run.finished, run.errorOutput.constData());
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.report.value("boxes").toArray().size(), 0);
    const QJsonArray windows = run.report.value("windows").toArray();
    QCOMPARE(windows.size(), 1);
    const QJsonObject window = windows.first().toObject();
    QVERIFY(window.value("visible").toBool());
    QStringList shownTabs;
    for (const QJsonValue &tab : window.value("tabs").toArray())
        shownTabs << tab.toString();
    QCOMPARE(shownTabs, tabs);
    QStringList log;
    for (const QJsonValue &stamped : window.value("log").toArray())
        log << stamped.toString().mid(14); // "hh:mm:ss.zzz  "
    QVERIFY2(log.contains(line), qPrintable(line + "\nnot in\n" + log.join('\n')));
}

} // namespace

class TestHostilePlugins : public QObject
{
    Q_OBJECT

private slots:
    void fixedBox_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("empty file") << int(Hostile::EmptyFile);
        QTest::newRow("library for aarch64") << int(Hostile::OtherMachine);
        QTest::newRow("library marked 32-bit") << int(Hostile::OtherClass);
        QTest::newRow("installed i386 library") << int(Hostile::SystemI386);
        QTest::newRow("truncated library") << int(Hostile::Truncated);
        QTest::newRow("truncated library in Plugin/haswell") << int(Hostile::TruncatedHaswell);
        QTest::newRow("header pointing past the end") << int(Hostile::BrokenHeaders);
        QTest::newRow("folder named Hubstone.so") << int(Hostile::Folder);
        QTest::newRow("link to itself") << int(Hostile::LinkToItself);
        QTest::newRow("dangling link") << int(Hostile::DanglingLink);
        QTest::newRow("link to /dev/zero") << int(Hostile::LinkToDevice);
    }

    void fixedBox()
    {
        QFETCH(int, kind);
        if (Hostile(kind) == Hostile::SystemI386 && systemI386Library().isEmpty())
            QSKIP("no i386 library installed");
        QTemporaryDir dir;
        QVERIFY(plant(dir.path(), Hostile(kind)));
        verifyFixedBox(runLauncher(dir.path(), existingFolder()));
    }

    // Mapped unchecked, a truncated library ends the program with SIGBUS.
    void damagedPluginBesideTheCore_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray elf = [] {
            QFile file(builtPlugin("Vaultine.so"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QTest::newRow("truncated library") << elf.left(16 * 1024);
        QTest::newRow("empty file") << QByteArray();
        QByteArray pastTheEnd = elf.left(64);
        pastTheEnd[32] = char(0xf0); // e_phoff far beyond the end of the file
        QTest::newRow("header pointing past the end") << pastTheEnd;
    }

    void damagedPluginBesideTheCore()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(plantRealPlugins(dir.path()));
        QVERIFY(writeAll(dir.filePath("Plugin/Broken.so"), bytes));
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        verifyWindow(runLauncher(dir.path(), existingFolder()), {"Encryption"},
                     "跳过：" + root + "/Plugin/Broken.so（不是可加载的库文件）");
    }

    // Whoever can write the folder can put a library there, to be run as
    // this user: no plug-in of it is loaded, and the window says so.
    void folderOtherUsersCanChange_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("why");
        QTest::newRow("writable by all") << "0777"
                                         << "所有用户都可写入，权限 0777";
        QTest::newRow("writable by its group") << "0775"
                                               << "同组用户可写入，权限 0775";
        QTest::newRow("owned by nobody") << "nobody"
                                         << "属于其他用户，uid 65534";
        QTest::newRow("a link into a folder all can write")
            << "link"
            << "链接目标所在目录 %1/shared：所有用户都可写入，权限 1777";
    }

    void folderOtherUsersCanChange()
    {
        QFETCH(QString, how);
        QFETCH(QString, why);
        if (how == "nobody" && ::geteuid() != 0)
            QSKIP("not root: no folder of another user can be made");
        QTemporaryDir dir;
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        const QString folder = root + "/Plugin";
        if (how == "link") {
            QVERIFY(QDir().mkpath(root + "/shared"));
            QVERIFY(changeMode(root + "/shared", 01777));
            QVERIFY(plantRealPlugins(root + "/shared"));
            QVERIFY(QFile::link(root + "/shared/Plugin", folder));
        } else {
            QVERIFY(plantRealPlugins(root));
            QVERIFY(how == "nobody" ? changeOwner(folder, kNobody)
                                    : changeMode(folder, mode_t(how.toUInt(nullptr, 8))));
        }
        verifyWindow(runLauncher(root, existingFolder()), {"插件"},
                     "跳过插件目录：" + folder + "（" + why.arg(root) + "）");
    }

    // As an ordinary user: the folder and the core plug-in that root
    // installed, and the user's own plug-in, are trusted; a plug-in that
    // another user owns is not.
    void pluginOfAnotherUser()
    {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (::geteuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv to run as nobody beside files of other users");
        QTemporaryDir dir;
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        QVERIFY(plantRealPlugins(root));
        QVERIFY(QFile::copy(builtPlugin("Vaultine.so"), root + "/Plugin/Daemons.so"));
        QVERIFY(changeOwner(root + "/Plugin/Daemons.so", kDaemon));
        QVERIFY(changeOwner(root + "/Plugin/Vaultine.so", kNobody));
        // The reports are written there as nobody.
        QVERIFY(changeMode(root, 0755) && changeOwner(root, kNobody));

        LauncherSetup setup = existingFolder();
        setup.wrapper = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        verifyWindow(runLauncher(root, setup), {"Encryption"},
                     "跳过：" + root + "/Plugin/Daemons.so（属于其他用户，uid 1）");
    }

    // A named pipe under the core plug-in's name has no writer: reading it
    // would wait forever. The test stands in as a writer that offers a few
    // bytes and, once the launcher has ended, sees whether it took them. A
    // look at the pipe that does not read (to find it is no library) is fine.
    void pipeIsNeverRead_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("Plugin") << "Plugin";
        // Qt tries this one first on CPUs with AVX2.
        QTest::newRow("Plugin/haswell") << "Plugin/haswell";
    }

    void pipeIsNeverRead()
    {
        QFETCH(QString, where);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(where)));
        const QByteArray pipe = QFile::encodeName(dir.filePath(where + "/Hubstone.so"));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        ::signal(SIGPIPE, SIG_IGN);

        const QByteArray offered(64, 'x');
        std::promise<ssize_t> written;
        std::future<ssize_t> writtenResult = written.get_future();
        std::promise<void> mayClose;
        std::future<void> closing = mayClose.get_future();
        std::thread writer([&] {
            // Returns once anyone opens the pipe for reading.
            const int fd = ::open(pipe.constData(), O_WRONLY);
            written.set_value(fd >= 0 ? ::write(fd, offered.constData(), size_t(offered.size())) : -1);
            closing.wait(); // the bytes stay in the pipe while it is open
            if (fd >= 0)
                ::close(fd);
        });
        const LauncherRun run = runLauncher(dir.path(), existingFolder());

        // Also releases the writer when the launcher never opened the pipe.
        const int reader = ::open(pipe.constData(), O_RDONLY | O_NONBLOCK);
        const ssize_t put = writtenResult.get();
        char left[64];
        const ssize_t stillThere = reader >= 0 ? ::read(reader, left, sizeof left) : -1;
        mayClose.set_value();
        writer.join();
        if (reader >= 0)
            ::close(reader);

        verifyFixedBox(run);
        const bool readByLauncher = put == offered.size() && stillThere <= 0;
        QVERIFY2(!readByLauncher, "the launcher read from a pipe: with no writer it would wait forever");
    }
};

QTEST_GUILESS_MAIN(TestHostilePlugins)
#include "tst_hostileplugins.moc"
