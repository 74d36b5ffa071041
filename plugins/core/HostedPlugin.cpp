#include "HostedPlugin.h"

#include <QFileInfo>
#include <QStringList>
#include <QWidget>

#include <cstring>
#include <type_traits>

namespace {

QString textOf(PluginApi::TextFn fn)
{
    const char *text = fn();
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

std::unique_ptr<HostedPlugin> HostedPlugin::open(const QString &path, QString *whyNot)
{
    std::unique_ptr<HostedPlugin> plugin(new HostedPlugin);
    QLibrary &library = plugin->m_library;
    library.setFileName(path);
    if (!library.load()) {
        *whyNot = QStringLiteral("无法加载：") + library.errorString();
        return nullptr;
    }

    QStringList missing;
    auto resolve = [&](auto &slot, const char *symbol) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library.resolve(symbol));
        if (!slot)
            missing << QLatin1String(symbol);
    };
    resolve(plugin->m_initialize, PluginApi::kInitialize);
    resolve(plugin->m_delayedInitialize, PluginApi::kDelayedInitialize);
    resolve(plugin->m_shutdown, PluginApi::kShutdown);
    resolve(plugin->m_widget, PluginApi::kWidget);
    resolve(plugin->m_name, PluginApi::kName);
    resolve(plugin->m_category, PluginApi::kCategory);
    resolve(plugin->m_version, PluginApi::kVersion);
    resolve(plugin->m_type, PluginApi::kType);

    if (!missing.isEmpty()) {
        *whyNot = QStringLiteral("缺少入口：") + missing.join(QLatin1String(", "));
    } else if (const char *name = plugin->m_name(); name && std::strcmp(name, PluginApi::kCoreName) == 0) {
        *whyNot = QStringLiteral("这是核心插件");
    } else {
        return plugin;
    }
    // Nothing of it has run but its static initialisation: let it go.
    library.unload();
    return nullptr;
}

QString HostedPlugin::fileName() const
{
    return QFileInfo(m_library.fileName()).fileName();
}

QString HostedPlugin::name() const
{
    const QString name = textOf(m_name);
    return name.isEmpty() ? QFileInfo(m_library.fileName()).completeBaseName() : name;
}

QString HostedPlugin::category() const
{
    return textOf(m_category);
}

QString HostedPlugin::version() const
{
    return textOf(m_version);
}

int HostedPlugin::type() const
{
    return m_type();
}

void HostedPlugin::initialize(int argc, char **argv)
{
    if (m_stage != Stage::Loaded)
        return;
    m_stage = Stage::Initialized;
    m_initialize(argc, argv);
}

void HostedPlugin::delayedInitialize()
{
    if (m_stage != Stage::Initialized)
        return;
    m_stage = Stage::Started;
    m_delayedInitialize();
}

QWidget *HostedPlugin::widget()
{
    if (m_stage != Stage::Initialized && m_stage != Stage::Started)
        return nullptr;
    return m_widget();
}

void HostedPlugin::shutdown()
{
    if (m_stage == Stage::Loaded || m_stage == Stage::ShutDown)
        return;
    m_stage = Stage::ShutDown;
    m_shutdown();
}
