#include "Shell.h"

#include "BundledAssets.h"
#include "CommandLinePaths.h"
#include "CoreLocation.h"
#include "DesktopNotice.h"
#include "FileTrust.h"
#include "HostedPlugin.h"
#include "LogHub.h"
#include "MainWindow.h"
#include "QtTranslation.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibrary>
#include <QScreen>
#include <QTabWidget>

namespace {

void log(const QString &line)
{
    loghub::write(line);
}

} // namespace

Shell &Shell::instance()
{
    static Shell shell;
    return shell;
}

// At process exit the application and its widgets are gone already: only
// release what does not touch them. The libraries stay loaded.
Shell::~Shell() = default;

void Shell::initialize(int argc, char **argv)
{
    if (m_stage != Stage::Loaded)
        return;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        log(QStringLiteral("核心插件需要 QApplication"));
        return;
    }
    if (commandlinepaths::asksToQuitRunning(argc, argv)) {
        // No window of its own: the status says whether one still runs.
        m_stage = Stage::HandedOver;
        const int status = m_oneWindow.closeRunning();
        QMetaObject::invokeMethod(
            qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
        return;
    }
    if (m_oneWindow.handOver(argc, argv)) {
        // The event loop ends as soon as it starts; shutdown finds nothing.
        m_stage = Stage::HandedOver;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
    }
    m_stage = Stage::Initialized;
    // The window's class (WM_CLASS) whatever name the program was started
    // by, as the desktop entry's StartupWMClass says it.
    QCoreApplication::setApplicationName(QStringLiteral("Keystrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("keystrel"));

    // Qt's own texts in the window's language, before the first widget.
    const bool qtTranslated = !qttranslation::install().isEmpty();
    // Fonts before the first widget, so no widget resolves a substitute.
    const QStringList missingFonts = bundledassets::registerFonts();
    const QIcon icon = bundledassets::applicationIcon();
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);

    m_window = new MainWindow;
    m_window->setWindowIcon(icon);
    loghub::attachPane(m_window->logPane());
    for (const QString &face : missingFonts)
        log(QStringLiteral("无法注册字体：") + face);
    if (!qtTranslated)
        log(QStringLiteral("找不到 Qt 的中文翻译 ") + QLatin1String(qttranslation::kCatalogue)
            + QStringLiteral(".qm，Qt 自带的文字显示为英文：")
            + QDir::toNativeSeparators(qttranslation::folders().join(QStringLiteral("；"))));

    m_folder = corelocation::pluginFolder();
    log(QStringLiteral("插件目录：") + QDir::toNativeSeparators(m_folder));
    loadPlugins();
    for (Entry &entry : m_entries)
        entry.plugin->initialize(argc, argv);
}

void Shell::loadPlugins()
{
    // Whoever can write the folder can put a library there.
    m_untrustedFolder = filetrust::whyUntrustedFolder(m_folder);
    if (m_untrustedFolder.isEmpty())
        loadPluginFiles();
    else {
        log(QStringLiteral("跳过插件目录：") + QDir::toNativeSeparators(m_folder) + QStringLiteral("（")
            + m_untrustedFolder + QStringLiteral("）"));
        m_unloaded << QStringLiteral("插件目录（") + m_untrustedFolder + QStringLiteral("）");
    }
    if (m_entries.empty())
        log(QStringLiteral("插件目录中没有插件：") + QDir::toNativeSeparators(m_folder));
}

void Shell::loadPluginFiles()
{
    const QString self = QFileInfo(corelocation::libraryPath()).canonicalFilePath();
    const QFileInfoList files = QDir(m_folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString path = file.absoluteFilePath();
        if (!QLibrary::isLibrary(path))
            continue;
        if (file.canonicalFilePath() == self) {
            log(QStringLiteral("跳过核心插件自身：") + QDir::toNativeSeparators(path));
            continue;
        }
        QString whyNot;
        std::unique_ptr<HostedPlugin> plugin = HostedPlugin::open(path, &whyNot);
        if (!plugin) {
            log(QStringLiteral("跳过：") + QDir::toNativeSeparators(path) + QStringLiteral("（") + whyNot
                + QStringLiteral("）"));
            m_unloaded << file.fileName() + QStringLiteral("（") + whyNot + QStringLiteral("）");
            continue;
        }
        log(QStringLiteral("已加载插件：") + plugin->name() + QStringLiteral("（") + plugin->fileName()
            + QStringLiteral("）"));
        m_entries.push_back(Entry{std::move(plugin), nullptr});
    }
}

void Shell::delayedInitialize()
{
    if (m_stage != Stage::Initialized)
        return;
    m_stage = Stage::Started;

    for (Entry &entry : m_entries) {
        entry.plugin->delayedInitialize();
        hostWidget(entry);
    }
    // A plug-in that is there but cannot be loaded (damaged, say) is named
    // in the window, not only in the log; a folder others may change, with
    // what to do about it.
    if (m_window->tabs()->count() == 0 && !m_untrustedFolder.isEmpty())
        m_window->showUntrustedFolderPage(m_folder, m_untrustedFolder);
    else if (m_window->tabs()->count() == 0)
        m_window->showNoPluginsPage(m_folder, m_unloaded);
    else if (!m_unloaded.isEmpty())
        m_window->showUnloadedPlugins(m_unloaded);
    const QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        m_window->placeWithin(screen->availableGeometry());
    m_window->show();
    m_oneWindow.open(m_window, m_window->tabs());
    // Any window of the program active means the user saw the work end.
    m_notice = std::make_unique<WorkNotice>([] { return QApplication::activeWindow() != nullptr; },
                                            desktopnotice::systemSink());
}

void Shell::hostWidget(Entry &entry)
{
    HostedPlugin &plugin = *entry.plugin;
    QWidget *widget = plugin.widget();
    if (!widget) {
        log(QStringLiteral("插件没有界面：") + plugin.name());
        return;
    }
    if (m_window->tabs()->indexOf(widget) >= 0) {
        log(QStringLiteral("插件的界面已在另一个标签中：") + plugin.name());
        return;
    }
    const QString toolTip =
        QStringLiteral("类别：%1\n版本：%2\n类型：%3").arg(plugin.category(), plugin.version()).arg(plugin.type());
    entry.page = widget;
    m_window->addPluginTab(widget, plugin.name(), toolTip);
}

bool Shell::workEnded(const QString &summary, qint64 elapsedMs)
{
    return m_stage == Stage::Started && m_notice && m_notice->workEnded(summary, elapsedMs);
}

void Shell::shutdown()
{
    if (m_stage != Stage::Initialized && m_stage != Stage::Started)
        return;
    m_stage = Stage::ShutDown;
    m_oneWindow.close();

    // Last loaded, first shut down. Each widget leaves the window first: its
    // plug-in deletes it, the window must not delete it a second time.
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->page && m_window)
            m_window->removePluginPage(it->page);
        it->page = nullptr;
        it->plugin->shutdown();
    }
    delete m_window.data(); // its log pane detaches itself
    // Never unloaded: widgets released with deleteLater still need their code.
    m_entries.clear();
}
