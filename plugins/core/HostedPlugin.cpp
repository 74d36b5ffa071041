#include "HostedPlugin.h"

#include "FileTrust.h"

#include <QFileInfo>
#include <QStringList>
#include <QWidget>

#include <cstring>
#include <type_traits>

namespace {

QString textOf(pluginapi::TextFn fn)
{
    const char *text = fn();
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

std::unique_ptr<HostedPlugin> HostedPlugin::open(const QString &path, QString *whyNot)
{
    QString target;
    *whyNot = filetrust::resolve(path, &target);
    if (!whyNot->isEmpty())
        return nullptr;

    std::unique_ptr<HostedPlugin> plugin(new HostedPlugin);
    plugin->m_path = path;
    if (!plugin->loadChecked(target, whyNot))
        return nullptr;
    if (plugin->resolveEntries(whyNot))
        return plugin;
    // Nothing of it has run but its static initialisation: let it go.
    plugin->unload();
    return nullptr;
}

bool HostedPlugin::resolveEntries(QString *whyNot)
{
    QStringList missing;
    auto resolve = [&](auto &slot, const char *symbol) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(ownSymbol(symbol));
        if (!slot)
            missing << QLatin1String(symbol);
    };
    resolve(m_initialize, pluginapi::kInitialize);
    resolve(m_delayedInitialize, pluginapi::kDelayedInitialize);
    resolve(m_shutdown, pluginapi::kShutdown);
    resolve(m_widget, pluginapi::kWidget);
    resolve(m_name, pluginapi::kName);
    resolve(m_category, pluginapi::kCategory);
    resolve(m_version, pluginapi::kVersion);
    resolve(m_type, pluginapi::kType);

    if (!missing.isEmpty()) {
        *whyNot = QStringLiteral("缺少入口：") + missing.join(QLatin1String(", "));
        return false;
    }
    if (const char *name = m_name(); name && std::strcmp(name, pluginapi::kCoreName) == 0) {
        *whyNot = QStringLiteral("这是核心插件");
        return false;
    }
    return true;
}

QString HostedPlugin::fileName() const
{
    return QFileInfo(m_path).fileName();
}

QString HostedPlugin::name() const
{
    const QString name = textOf(m_name);
    return name.isEmpty() ? QFileInfo(m_path).completeBaseName() : name;
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
