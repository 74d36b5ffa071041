// One plug-in library from the plug-in folder, driven through its entry set.
#pragma once

#include "PluginApi.h"

#include <QString>

#include <memory>

class QWidget;

class HostedPlugin
{
public:
    // Loads the library at `path`. Returns nullptr and says why in `whyNot`
    // when it is not a plug-in that can be hosted: another user could have
    // changed it, it is no library this process can load, it does not
    // itself define every entry point Hubstone calls, or it is a core
    // plug-in. Once hosted, the library stays loaded for the life of the
    // process.
    static std::unique_ptr<HostedPlugin> open(const QString &path, QString *whyNot);

    QString fileName() const;
    QString name() const; // the tab label; the file name if the plug-in gives none
    QString category() const;
    QString version() const;
    int type() const;

    // The life cycle, each step at most once and in this order.
    void initialize(int argc, char **argv);
    void delayedInitialize();
    QWidget *widget();
    void shutdown();

    bool isShutDown() const { return m_stage == Stage::ShutDown; }

private:
    enum class Stage { Loaded, Initialized, Started, ShutDown };

    HostedPlugin() = default;
    // The platform's part: judges the file at `target` (who may change it,
    // whether it looks like a library for this process) and, when it
    // passes, loads it with every symbol bound. False with the reason.
    bool loadChecked(const QString &target, QString *whyNot);
    // `symbol` as the library itself defines it; null when only a library
    // it depends on does.
    void *ownSymbol(const char *symbol) const;
    void unload();
    bool resolveEntries(QString *whyNot);

    QString m_path;
    void *m_handle = nullptr;       // the loader's handle of the library
    const void *m_object = nullptr; // what the loader says owns a symbol
    pluginapi::InitializeFn m_initialize = nullptr;
    pluginapi::DelayedInitializeFn m_delayedInitialize = nullptr;
    pluginapi::ShutdownFn m_shutdown = nullptr;
    pluginapi::WidgetFn m_widget = nullptr;
    pluginapi::TextFn m_name = nullptr;
    pluginapi::TextFn m_category = nullptr;
    pluginapi::TextFn m_version = nullptr;
    pluginapi::TypeFn m_type = nullptr;
    Stage m_stage = Stage::Loaded;
};
