// Finding, loading and checking the core plug-in.
#pragma once

#include "PluginApi.h"

#include <QString>

class QLibrary;

namespace coreplugin {

// What the launcher calls on the core plug-in once it has passed every check.
struct Entries
{
    pluginapi::InitializeFn initialize = nullptr;
    pluginapi::DelayedInitializeFn delayedInitialize = nullptr;
    pluginapi::ShutdownFn shutdown = nullptr;
};

// File name of the core plug-in, with the platform's library suffix.
QString fileName();

// The core plug-in in the "Plugin" folder beside the executable.
QString path();

// True when the file at path loads, exports all four entry points and its
// pluginName() is exactly "Core". Nothing but pluginName() is called here,
// and it only when the four entry points are present. The library stays
// loaded whatever the outcome.
bool load(QLibrary &library, const QString &path, Entries &entries);

// Exact, case-sensitive comparison; a null name never matches.
bool isCoreName(const char *name);

} // namespace coreplugin
