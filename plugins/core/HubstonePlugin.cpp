// Entry points of the core plug-in, as the launcher resolves them.
#include "PluginApi.h"

extern "C" {

Q_DECL_EXPORT int initializePlugin(int argc, char **argv)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return 0;
}

Q_DECL_EXPORT int delayedInitialize()
{
    return 0;
}

Q_DECL_EXPORT int shutdownPlugin()
{
    return 0;
}

Q_DECL_EXPORT const char *pluginName()
{
    return PluginApi::kCoreName;
}

} // extern "C"
