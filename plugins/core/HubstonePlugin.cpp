// Entry points of the core plug-in, as the launcher resolves them.
#include "PluginApi.h"
#include "Shell.h"

extern "C" {

Q_DECL_EXPORT int initializePlugin(int argc, char **argv)
{
    Shell::instance().initialize(argc, argv);
    return 0;
}

Q_DECL_EXPORT int delayedInitialize()
{
    Shell::instance().delayedInitialize();
    return 0;
}

Q_DECL_EXPORT int shutdownPlugin()
{
    Shell::instance().shutdown();
    return 0;
}

Q_DECL_EXPORT const char *pluginName()
{
    return pluginapi::kCoreName;
}

} // extern "C"
