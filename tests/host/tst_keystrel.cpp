// The real Keystrel executable, run beside test core plug-ins: start-up,
// hand-over of the command line, shutdown, the load-failure box, and the
// look and resource bundle as seen from inside the running process.
#include "LauncherRun.h"
#include "StyleSheetCheck.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LauncherSetup)

namespace {

const QString kAssetsDir = QStringLiteral(KEYSTREL_ASSETS_DIR);

QStringList startedCoreCalls(const QString &program, const QStringList &arguments)
{
    QStringList calls{"pluginName", "initializePlugin " + QString::number(arguments.size() + 1), "argv " + program};
    for (const QString &argument : arguments)
        calls << "argv " + argument;
    calls << "argv terminated"
          << "delayedInitialize"
          << "shutdownPlugin with application";
    return calls;
}

QByteArray md5Of(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex()
                                          : QByteArray();
}

void verifyBundleReachable(const QJsonObject &reachable)
{
    QVERIFY(reachable.value("font").toBool());
    QVERIFY(reachable.value("icon").toBool());
}

} // namespace

class TestKeystrel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runningDir;
    LauncherRun m_running; // one good start, inspected by several tests

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(QStringLiteral(KEYSTREL_EXECUTABLE)));
        QVERIFY(QFile::exists(QStringLiteral(KEYSTREL_PROBE)));
        QVERIFY(m_runningDir.isValid());
        LauncherSetup setup;
        // Ask Qt for another style: the launcher must still end up with Fusion.
        setup.arguments = QStringList{"-style", "windows"};
        m_running = runLauncher(m_runningDir.path(), setup);
        QVERIFY(m_running.finished);
        QCOMPARE(m_running.exitCode, 0);
        QVERIFY2(m_running.report.contains("atQuit"), m_running.errorOutput.constData());
    }

    void startsCoreAndReturnsExecResult_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("platformFromArguments");
        QTest::addColumn<int>("quitCode");
        QTest::addColumn<QStringList>("handedOn");

        QTest::newRow("qt options removed")
            << QStringList{"-platform", "offscreen", "alpha", "two words", "-style", "windows", "中文", "--last"}
            << true << 42 << QStringList{"alpha", "two words", "中文", "--last"};
        QTest::newRow("no arguments") << QStringList() << false << 0 << QStringList();
        QTest::newRow("plain arguments in order")
            << QStringList{"-x", "--flag=1", "b", "a"} << false << 7 << QStringList{"-x", "--flag=1", "b", "a"};
        // After "--" every argument is a path, also one that Qt would take
        // for its own option (a file named "-platform", say).
        QTest::newRow("nothing after -- is Qt's")
            << QStringList{"--encrypt", "-style", "windows",       "--",    "-platform", "a.txt",      "-reverse",
                           "-style",    "b.txt",  "-qwindowtitle", "c.txt", "--",        "-stylesheet"}
            << false << 3
            << QStringList{"--encrypt",     "--",    "-platform", "a.txt",      "-reverse", "-style", "b.txt",
                           "-qwindowtitle", "c.txt", "--",        "-stylesheet"};
        QTest::newRow("qt options before -- only") << QStringList{"-platform", "offscreen", "--", "-platform", "xcb"}
                                                   << true << 5 << QStringList{"--", "-platform", "xcb"};
        QTest::newRow("-- alone") << QStringList{"--"} << false << 0 << QStringList{"--"};
    }

    void startsCoreAndReturnsExecResult()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, platformFromArguments);
        QFETCH(int, quitCode);
        QFETCH(QStringList, handedOn);

        QTemporaryDir dir;
        LauncherSetup setup;
        setup.arguments = arguments;
        setup.platformFromArguments = platformFromArguments;
        setup.quitCode = quitCode;
        const LauncherRun run = runLauncher(dir.path(), setup);

        QVERIFY2(run.finished, run.errorOutput.constData());
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, quitCode);
        QCOMPARE(run.report.value("mainResult").toInt(-1), quitCode);
        // Program path first, Qt's own options gone, the rest in order;
        // shutdown exactly once, while the application still exists.
        QCOMPARE(run.coreCalls, startedCoreCalls(run.program, handedOn));
        QCOMPARE(run.report.value("boxes").toArray().size(), 0);
        QVERIFY(run.report.contains("atQuit"));
        // Nothing on this command line asks Qt to mirror the layout for real.
        const QJsonObject look = run.report.value("atQuit").toObject().value("lookAndFeel").toObject();
        QCOMPARE(look.value("layoutDirection").toInt(-1), int(Qt::LeftToRight));
    }

    void lookOfRunningLauncher()
    {
        const QJsonObject look = m_running.report.value("atQuit").toObject().value("lookAndFeel").toObject();
        QVERIFY(look.value("fusionPalette").toBool());
        QVERIFY(!look.value("windowsPalette").toBool()); // the palettes do tell the styles apart
        QCOMPARE(look.value("fontFamily").toString(), QString("Roboto"));
        QCOMPARE(look.value("fontPointSize").toInt(), 11);
        QCOMPARE(look.value("fontWeight").toInt(), 50);
        QCOMPARE(look.value("fontItalic").toBool(true), false);
        QVERIFY(look.value("highDpiScaling").toBool());
        QVERIFY(look.value("highDpiPixmaps").toBool());
        // 150 % stays 150 %, not 200 %.
        QVERIFY(look.value("scaleFactorsPassedThrough").toBool());
        QVERIFY(look.value("styleSheetPropagation").toBool());
        verifyStyleSheet(look.value("styleSheet").toString());
    }

    void bundleOfRunningLauncher()
    {
        const QJsonObject bundle = m_running.report.value("atQuit").toObject().value("bundle").toObject();

        // Fonts: six entries without extension, the vendored files unchanged.
        const QJsonObject fonts = bundle.value("fonts").toObject();
        const QStringList weights{"Black", "Bold", "Light", "Medium", "Regular", "Thin"};
        QStringList expectedFonts;
        for (const QString &weight : weights)
            expectedFonts << "roboto_" + weight.toLower();
        QCOMPARE(fonts.keys(), expectedFonts);
        for (const QString &weight : weights) {
            const QString vendored = kAssetsDir + "/fonts/Roboto-" + weight + ".ttf";
            const QJsonObject entry = fonts.value("roboto_" + weight.toLower()).toObject();
            QCOMPARE(qint64(entry.value("size").toInt()), QFileInfo(vendored).size());
            QCOMPARE(entry.value("md5").toString().toLatin1(), md5Of(vendored));
        }
        QCOMPARE(bundle.value("fontWithExtension").toBool(true), false);

        // Icons: 960 production SVGs in 16 categories.
        QCOMPARE(bundle.value("iconsTopLevel").toArray(), QJsonArray{"icons"});
        const QRegularExpression iconPath("^:/icons/icons/([a-z]+)/svg/production/ic_[a-z0-9_]+_24px\\.svg$");
        QMap<QString, int> counts;
        QStringList bundled;
        for (const QJsonValue &value : bundle.value("iconFiles").toArray()) {
            const QRegularExpressionMatch match = iconPath.match(value.toString());
            QVERIFY2(match.hasMatch(), qPrintable(value.toString()));
            ++counts[match.captured(1)];
            bundled << value.toString().mid(QStringLiteral(":/icons/").size());
        }
        const QMap<QString, int> expectedCounts{
            {"action", 215},      {"alert", 4},   {"av", 80},     {"communication", 50},
            {"content", 41},      {"device", 79}, {"editor", 68}, {"file", 14},
            {"hardware", 48},     {"image", 155}, {"maps", 68},   {"navigation", 27},
            {"notification", 54}, {"places", 19}, {"social", 30}, {"toggle", 8},
        };
        QCOMPARE(counts, expectedCounts);

        QStringList vendored;
        QDirIterator it(kAssetsDir + "/icons", {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            vendored << it.next().mid(kAssetsDir.size() + 1);
        bundled.sort();
        vendored.sort();
        QCOMPARE(bundled, vendored);

        // Stored compressed, read back whole.
        QCOMPARE(bundle.value("blurOnSize").toInt(), 1510);
        QVERIFY(bundle.value("blurOnIsSvg").toBool());
        QJsonArray compressed = bundle.value("compressed").toArray();
        QCOMPARE(compressed, (QJsonArray{":/icons/icons/image/svg/production/ic_blur_off_24px.svg",
                                         ":/icons/icons/image/svg/production/ic_blur_on_24px.svg",
                                         ":/icons/icons/places/svg/production/ic_pool_24px.svg"}));
        qInfo("bundle: %lld bytes stored, %lld bytes uncompressed", qint64(bundle.value("storedBytes").toDouble()),
              qint64(bundle.value("uncompressedBytes").toDouble()));
    }

    void bundleRegisteredAroundMain()
    {
        verifyBundleReachable(m_running.report.value("beforeMain").toObject());
        verifyBundleReachable(m_running.report.value("afterMain").toObject());
    }

    // The encryption plug-in damaged (cut short, or encrypted by mistake):
    // the program starts, and its window names the plug-in and the reason.
    void damagedPluginIsNamedInTheWindow_data()
    {
        QTest::addColumn<bool>("truncated");
        QTest::newRow("truncated") << true;
        QTest::newRow("encrypted") << false;
    }

    void damagedPluginIsNamedInTheWindow()
    {
        QFETCH(bool, truncated);
        QFile vaultine(QStringLiteral(KEYSTREL_VAULTINE));
        if (!vaultine.open(QIODevice::ReadOnly))
            QSKIP("no Vaultine in this build");
        const QByteArray bytes = vaultine.readAll();
        QTemporaryDir dir;
        LauncherSetup setup;
        setup.coreFile = QStringLiteral(KEYSTREL_HUBSTONE);
        setup.pluginFiles.insert(QStringLiteral("Vaultine.so"),
                                 truncated ? bytes.left(1024) : QByteArray("has been encrypt", 17) + bytes);
        const LauncherRun run = runLauncher(dir.path(), setup);

        QVERIFY2(run.finished, run.errorOutput.constData());
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.report.value("boxes").toArray().size(), 0);
        const QJsonArray windows = run.report.value("windows").toArray();
        QCOMPARE(windows.size(), 1);
        const QJsonObject window = windows.first().toObject();
        QCOMPARE(window.value("tabs").toArray(), QJsonArray({QStringLiteral("插件")}));
        const QString note = window.value("notes").toArray().first().toString();
        QVERIFY2(note.startsWith(QStringLiteral("插件无法加载：\nVaultine.so（不是可加载的库文件）\n")),
                 qPrintable(note));
        QVERIFY2(note.endsWith(QDir(dir.path()).filePath(QStringLiteral("Plugin"))), qPrintable(note));
    }

    void failureShowsTheFixedBox_data()
    {
        using Folder = LauncherSetup::Folder;
        QTest::addColumn<LauncherSetup>("setup");
        QTest::addColumn<QStringList>("coreCalls");

        auto setup = [](Folder folder, const QString &core = QString()) {
            LauncherSetup value;
            value.folder = folder;
            value.core = core;
            value.quitCode = 3; // never reached
            return value;
        };
        const QStringList none;
        const QStringList askedName{"pluginName"};
        QTest::newRow("no Plugin folder") << setup(Folder::Missing) << none;
        QTest::newRow("no core file") << setup(Folder::Empty) << none;
        QTest::newRow("not a library") << setup(Folder::NotALibrary) << none;
        // A damaged copy (cut short, or encrypted in place) never loads.
        QTest::newRow("truncated copy") << setup(Folder::Truncated, "keystrel_test_core_good") << none;
        QTest::newRow("encrypted copy") << setup(Folder::Encrypted, "keystrel_test_core_good") << none;
        QTest::newRow("dependency missing") << setup(Folder::WithCore, "keystrel_test_core_needs_dependency") << none;
        QTest::newRow("no initializePlugin") << setup(Folder::WithCore, "keystrel_test_core_no_initialize") << none;
        QTest::newRow("no delayedInitialize") << setup(Folder::WithCore, "keystrel_test_core_no_delayed") << none;
        QTest::newRow("no shutdownPlugin") << setup(Folder::WithCore, "keystrel_test_core_no_shutdown") << none;
        QTest::newRow("no pluginName") << setup(Folder::WithCore, "keystrel_test_core_no_name") << none;
        QTest::newRow("lower case name") << setup(Folder::WithCore, "keystrel_test_core_lower") << askedName;
        QTest::newRow("trailing space") << setup(Folder::WithCore, "keystrel_test_core_trailing_space") << askedName;
        QTest::newRow("cut short") << setup(Folder::WithCore, "keystrel_test_core_short") << askedName;
        QTest::newRow("null name") << setup(Folder::WithCore, "keystrel_test_core_null") << askedName;
    }

    void failureShowsTheFixedBox()
    {
        QFETCH(LauncherSetup, setup);
        QFETCH(QStringList, coreCalls);

        QTemporaryDir dir;
        const LauncherRun run = runLauncher(dir.path(), setup);

        QVERIFY2(run.finished, run.errorOutput.constData());
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.report.value("mainResult").toInt(-1), 0);
        // Nothing is started, and no event loop runs after the box.
        QCOMPARE(run.coreCalls, coreCalls);
        QVERIFY(!run.report.contains("atQuit"));

        const QJsonArray boxes = run.report.value("boxes").toArray();
        QCOMPARE(boxes.size(), 1);
        const QJsonObject box = boxes.first().toObject();
        QCOMPARE(box.value("title").toString(), QString("Core Plugin加载异常"));
        QCOMPARE(box.value("text").toString(), QString("无法加载核心库"));
        QCOMPARE(box.value("icon").toInt(-1), int(QMessageBox::NoIcon));
        QCOMPARE(box.value("standardButtons").toInt(), int(QMessageBox::Ok)); // Qt's default
        QCOMPARE(box.value("buttonCount").toInt(), 1);
        QVERIFY(box.value("parentless").toBool());
        QCOMPARE(box.value("modality").toInt(), int(Qt::ApplicationModal));
        QVERIFY(box.value("wasActiveModal").toBool());
        const auto flags = Qt::WindowFlags(box.value("windowFlags").toInt());
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::WindowFlags(Qt::Dialog));
        QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        // The look is in place before the box can appear.
        QCOMPARE(box.value("okButtonStyleClass").toString(), QString("QStyleSheetStyle"));
        const QJsonObject look = box.value("lookAndFeel").toObject();
        QVERIFY(look.value("fusionPalette").toBool());
        QCOMPARE(look.value("styleSheet").toString().toUtf8().size(), 965);
        verifyBundleReachable(run.report.value("afterMain").toObject());
    }
};

QTEST_GUILESS_MAIN(TestKeystrel)
#include "tst_keystrel.moc"
