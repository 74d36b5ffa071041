// One plug-in library from the plug-in folder, driven through its entry set.
#pragma once

#include "PluginApi.h"

#include <QLibrary>
#include <QPointer>
#include <QString>

#include <memory>

class QWidget;

class HostedPlugin
{
public:
    // Loads the library at `path`. Returns nullptr and says why in `whyNot`
    // when it is not a plug-in that can be hosted: it does not load, lacks
    // an entry point Hubstone calls, or is a core plug-in. The library stays
    // loaded for the life of the process once it is hosted.
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

    QLibrary m_library;
    PluginApi::InitializeFn m_initialize = nullptr;
    PluginApi::DelayedInitializeFn m_delayedInitialize = nullptr;
    PluginApi::ShutdownFn m_shutdown = nullptr;
    PluginApi::WidgetFn m_widget = nullptr;
    PluginApi::TextFn m_name = nullptr;
    PluginApi::TextFn m_category = nullptr;
    PluginApi::TextFn m_version = nullptr;
    PluginApi::TypeFn m_type = nullptr;
    Stage m_stage = Stage::Loaded;
};
