// Loads a copy of the built core plug-in from a temporary plug-in folder, as
// the launcher would, and finds its window. One core plug-in per test
// program: it looks for plug-ins beside itself and lives until exit.
#pragma once

#include "PluginApi.h"

#include <QLibrary>
#include <QStringList>

class QMainWindow;
class QPlainTextEdit;
class QTabWidget;

namespace coreharness {

// Entries that test plug-ins report through hubstoneTestJournal.
QStringList &journal();

// Copies a file of the build into `folder` under `name`.
bool copyInto(const QString &source, const QString &folder, const QString &name);
QString builtPluginDir();

class Core
{
public:
    // Loads `folder`/Hubstone.so and resolves the launcher's four entries.
    bool load(const QString &folder);
    QString errorString() const { return m_library.errorString(); }

    pluginapi::InitializeFn initialize = nullptr;
    pluginapi::DelayedInitializeFn delayedInitialize = nullptr;
    pluginapi::ShutdownFn shutdown = nullptr;
    pluginapi::TextFn name = nullptr;
    bool (*showLog)(const QString &) = nullptr;

private:
    QLibrary m_library;
};

QMainWindow *mainWindow();
QTabWidget *pluginTabs();
QPlainTextEdit *logView();
// The lines of the log pane, pending ones included.
QStringList logLines();

} // namespace coreharness
