#include "CorePlugin.h"

#include "LibraryFileCheck.h"

#include <QCoreApplication>
#include <QLibrary>

QString CorePlugin::fileName()
{
    // The system's suffix of shared libraries (".dll" on Windows) comes from
    // the build, which knows it.
    return QStringLiteral("Hubstone" KEYSTREL_LIBRARY_SUFFIX);
}

QString CorePlugin::path()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Plugin/") + fileName();
}

bool CorePlugin::isCoreName(const char *name)
{
    // Stops at the first NUL of either side: a short name is never read past its end.
    return name && qstrcmp(name, PluginApi::kCoreName) == 0;
}

bool CorePlugin::load(QLibrary &library, const QString &path, Entries &entries)
{
    if (!QLibrary::isLibrary(path) || !LibraryFileCheck::looksLoadable(path)
        || !LibraryFileCheck::alternativesLookLoadable(path))
        return false;
    library.setFileName(path);
    if (!library.load())
        return false;

    // All four are looked up before any is judged.
    const auto initialize = reinterpret_cast<PluginApi::InitializeFn>(library.resolve(PluginApi::kInitialize));
    const auto delayed =
        reinterpret_cast<PluginApi::DelayedInitializeFn>(library.resolve(PluginApi::kDelayedInitialize));
    const auto shutdown = reinterpret_cast<PluginApi::ShutdownFn>(library.resolve(PluginApi::kShutdown));
    const auto name = reinterpret_cast<PluginApi::TextFn>(library.resolve(PluginApi::kName));
    if (!initialize || !delayed || !shutdown || !name)
        return false;
    if (!isCoreName(name()))
        return false;

    entries.initialize = initialize;
    entries.delayedInitialize = delayed;
    entries.shutdown = shutdown;
    return true;
}
