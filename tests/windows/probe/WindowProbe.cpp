// A plug-in for the launch test under Wine: a widget that takes drops, and a
// report of what the running program shows, written once the window is up
// (KEYSTREL_WINPROBE_REPORT names the file), after which it quits.
#include "PluginApi.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>

namespace {

QWidget *g_widget = nullptr;

void report()
{
    QStringList lines;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<QMainWindow *>(top);
        if (!window)
            continue;
        lines << QStringLiteral("window %1 %2").arg(window->isVisible() ? "visible" : "hidden", window->windowTitle());
        if (auto *tabs = window->findChild<QTabWidget *>()) {
            for (int i = 0; i < tabs->count(); ++i)
                lines << QStringLiteral("tab ") + tabs->tabText(i);
        }
    }
    lines << QStringLiteral("probe parent %1").arg(g_widget && g_widget->window()->isVisible() ? "shown" : "not shown");
    QFile file(qEnvironmentVariable("KEYSTREL_WINPROBE_REPORT"));
    if (file.open(QIODevice::WriteOnly))
        file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

// Waits for the event loop and a shown window: the report is about what the
// user would see.
void reportWhenShown()
{
    if (!g_widget || !g_widget->window()->isVisible()) {
        QTimer::singleShot(20, reportWhenShown);
        return;
    }
    report();
    QCoreApplication::quit();
}

} // namespace

extern "C" {

Q_DECL_EXPORT int initializePlugin(int, char **)
{
    ShowLogFunc(QStringLiteral("Probe says hello"));
    g_widget = new QLabel(QStringLiteral("probe"));
    return 0;
}

Q_DECL_EXPORT int delayedInitialize()
{
    QTimer::singleShot(0, reportWhenShown);
    return 0;
}

Q_DECL_EXPORT int shutdownPlugin()
{
    if (g_widget)
        g_widget->deleteLater();
    g_widget = nullptr;
    return 0;
}

Q_DECL_EXPORT QWidget *pluginWidget()
{
    return g_widget;
}

Q_DECL_EXPORT const char *pluginName()
{
    return "Probe";
}

Q_DECL_EXPORT const char *pluginCategory()
{
    return "";
}

Q_DECL_EXPORT const char *pluginDescription()
{
    return "";
}

Q_DECL_EXPORT const char *pluginLicense()
{
    return "";
}

Q_DECL_EXPORT int pluginType()
{
    return 1;
}

Q_DECL_EXPORT const char *pluginVersion()
{
    return "1.0.0";
}

} // extern "C"
