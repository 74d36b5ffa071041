#include "HostedPlugin.h"

#include "FileTrust.h"
#include "LibraryFileCheck.h"
#include "SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace {

QString textOf(PluginApi::TextFn fn)
{
    const char *text = fn();
    return text ? QString::fromUtf8(text) : QString();
}

// Why the file at `target` must not be handed to the loader; empty when it
// may. Judged through one descriptor, so both looks see the same file.
QString whyNotLoadable(const QString &target)
{
    // O_NONBLOCK: opening a pipe must not wait for a writer.
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return QStringLiteral("无法打开：") + systemErrorText(errno);
    QString why;
    struct stat info;
    if (::fstat(fd, &info) != 0)
        why = QStringLiteral("无法读取：") + systemErrorText(errno);
    else
        why = FileTrust::whyUntrusted(info, ::geteuid());
    if (why.isEmpty() && !LibraryFileCheck::looksLoadable(fd))
        why = QStringLiteral("不是可加载的库文件");
    ::close(fd);
    return why;
}

} // namespace

std::unique_ptr<HostedPlugin> HostedPlugin::open(const QString &path, QString *whyNot)
{
    QString target;
    *whyNot = FileTrust::resolve(path, &target);
    if (whyNot->isEmpty())
        *whyNot = whyNotLoadable(target);
    if (!whyNot->isEmpty())
        return nullptr;

    std::unique_ptr<HostedPlugin> plugin(new HostedPlugin);
    plugin->m_path = path;
    // Every symbol bound now: a missing one refuses the plug-in here instead
    // of ending the program at its first call.
    plugin->m_handle = ::dlopen(QFile::encodeName(target).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin->m_handle) {
        const char *error = ::dlerror();
        *whyNot = QStringLiteral("无法加载：") + QString::fromLocal8Bit(error ? error : "");
        return nullptr;
    }
    if (::dlinfo(plugin->m_handle, RTLD_DI_LINKMAP, &plugin->m_object) != 0)
        plugin->m_object = nullptr;

    QStringList missing;
    auto resolve = [&](auto &slot, const char *symbol) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(plugin->ownSymbol(symbol));
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
    ::dlclose(plugin->m_handle);
    return nullptr;
}

void *HostedPlugin::ownSymbol(const char *symbol) const
{
    // dlsym also searches the libraries the plug-in depends on, Hubstone
    // among them, which exports entry points of the same names: a plug-in
    // without its own would have its calls land in Hubstone's.
    void *address = ::dlsym(m_handle, symbol);
    Dl_info info;
    link_map *owner = nullptr;
    if (!address || !m_object || ::dladdr1(address, &info, reinterpret_cast<void **>(&owner), RTLD_DL_LINKMAP) == 0
        || owner != m_object)
        return nullptr;
    return address;
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
