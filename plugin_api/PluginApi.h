// The entry set every plug-in library exports under plain names, and the
// log and notice sinks that the core plug-in offers to the others.
#pragma once

#include <QtGlobal>

class QString;
class QWidget;

#if defined(HUBSTONE_LIBRARY)
#define HUBSTONE_EXPORT Q_DECL_EXPORT
#else
#define HUBSTONE_EXPORT Q_DECL_IMPORT
#endif

// One complete log line, borrowed for the call. Exported by the core plug-in
// under its decorated C++ name; plug-ins link against it.
HUBSTONE_EXPORT bool ShowLogFunc(const QString &line);

// Work that may have run while the user looked elsewhere (a folder batch, a
// file with its progress dialog) has ended after `elapsedMs`; `summary` is
// its last line, already logged. The core plug-in tells the desktop when the
// work was long and none of the program's windows is active. True when it
// told. Exported like ShowLogFunc.
HUBSTONE_EXPORT bool ShowNoticeFunc(const QString &summary, qint64 elapsedMs);

namespace pluginapi {

// Function types of the entry set, as a loader resolves them with QLibrary.
using InitializeFn = int (*)(int argc, char **argv);
using DelayedInitializeFn = int (*)();
using ShutdownFn = int (*)();
using WidgetFn = QWidget *(*)();
using TextFn = const char *(*)();
using TypeFn = int (*)();

// Exported names.
constexpr const char kInitialize[] = "initializePlugin";
constexpr const char kDelayedInitialize[] = "delayedInitialize";
constexpr const char kShutdown[] = "shutdownPlugin";
constexpr const char kWidget[] = "pluginWidget";
constexpr const char kName[] = "pluginName";
constexpr const char kCategory[] = "pluginCategory";
constexpr const char kDescription[] = "pluginDescription";
constexpr const char kLicense[] = "pluginLicense";
constexpr const char kType[] = "pluginType";
constexpr const char kVersion[] = "pluginVersion";

// The name the launcher demands of the core plug-in.
constexpr const char kCoreName[] = "Core";

// A drop that the core plug-in makes for paths named on the command line
// carries this format when a direction was asked for them: "encrypt" or
// "decrypt". Without it a drop is taken as the user's own.
constexpr const char kDropDirectionFormat[] = "application/x-keystrel-direction";

} // namespace pluginapi
