#include "CorePlugin.h"

#include "LibraryFileCheck.h"

#include <QCoreApplication>
#include <QLibrary>

QString coreplugin::fileName()
{
    // The system's suffix of shared libraries (".dll" on Windows) comes from
    // the build, which knows it.
    return QStringLiteral("Hubstone" KEYSTREL_LIBRARY_SUFFIX);
}

QString coreplugin::path()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Plugin/") + fileName();
}

bool coreplugin::isCoreName(const char *name)
{
    // Stops at the first NUL of either side: a short name is never read past its end.
    return name && qstrcmp(name, pluginapi::kCoreName) == 0;
}

bool coreplugin::load(QLibrary &library, const QString &path, Entries &entries)
{
    if (!QLibrary::isLibrary(path) || !libraryfilecheck::looksLoadable(path)
        || !libraryfilecheck::alternativesLookLoadable(path))
        return false;
    library.setFileName(path);
    if (!library.load())
        return false;

    // All four are looked up before any is judged.
    const auto initialize = reinterpret_cast<pluginapi::InitializeFn>(library.resolve(pluginapi::kInitialize));
    const auto delayed =
        reinterpret_cast<pluginapi::DelayedInitializeFn>(library.resolve(pluginapi::kDelayedInitialize));
    const auto shutdown = reinterpret_cast<pluginapi::ShutdownFn>(library.resolve(pluginapi::kShutdown));
    const auto name = reinterpret_cast<pluginapi::TextFn>(library.resolve(pluginapi::kName));
    if (!initialize || !delayed || !shutdown || !name)
        return false;
    if (!isCoreName(name()))
        return false;

    entries.initialize = initialize;
    entries.delayedInitialize = delayed;
    entries.shutdown = shutdown;
    return true;
}
