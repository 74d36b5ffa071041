// The core plug-in's state: the main window and the plug-ins it hosts,
// driven by Hubstone's own entry points.
#pragma once

#include "OneWindow.h"
#include "WorkNotice.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class HostedPlugin;
class MainWindow;
class QWidget;

class Shell
{
public:
    static Shell &instance();

    ~Shell();
    Q_DISABLE_COPY(Shell)

    // Builds the (hidden) window, loads every plug-in of the folder in
    // file-name order and initialises each with the command line. When this
    // user's window runs already, hands it the command line instead and lets
    // the program end without a window of its own.
    void initialize(int argc, char **argv);
    // Lets each plug-in finish starting, puts its widget in a tab and shows
    // the window; then the paths of the command line are dropped on it.
    void delayedInitialize();
    // Shuts every hosted plug-in down once and closes the window.
    void shutdown();
    // A plug-in's long work has ended (ShowNoticeFunc): told to the desktop
    // when the user looks elsewhere. True when told.
    bool workEnded(const QString &summary, qint64 elapsedMs);

private:
    enum class Stage { Loaded, Initialized, Started, ShutDown, HandedOver };

    struct Entry
    {
        std::unique_ptr<HostedPlugin> plugin;
        QPointer<QWidget> page; // the widget while it sits in a tab
    };

    Shell() = default;
    // Every plug-in of the folder, unless other users can write to it.
    void loadPlugins();
    void loadPluginFiles();
    void hostWidget(Entry &entry);

    Stage m_stage = Stage::Loaded;
    QString m_folder;
    // What of the folder could not be hosted, and why: the window says so.
    QStringList m_unloaded;
    // Why the plug-in folder was not loaded from; empty when it was.
    QString m_untrustedFolder;
    QPointer<MainWindow> m_window;
    std::vector<Entry> m_entries;
    OneWindow m_oneWindow;
    std::unique_ptr<WorkNotice> m_notice;
};
