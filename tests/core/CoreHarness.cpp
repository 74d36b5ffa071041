#include "CoreHarness.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTabWidget>

extern "C" Q_DECL_EXPORT void hubstoneTestJournal(const char *entry)
{
    coreharness::journal() << QString::fromUtf8(entry);
}

namespace coreharness {

QStringList &journal()
{
    static QStringList entries;
    return entries;
}

QString builtPluginDir()
{
    return qEnvironmentVariable("KEYSTREL_BIN_DIR") + QStringLiteral("/Plugin");
}

bool copyInto(const QString &source, const QString &folder, const QString &name)
{
    return QFile::copy(source, folder + QLatin1Char('/') + name);
}

bool Core::load(const QString &folder)
{
    m_library.setFileName(folder + QStringLiteral("/Hubstone.so"));
    if (!m_library.load())
        return false;
    initialize = reinterpret_cast<pluginapi::InitializeFn>(m_library.resolve(pluginapi::kInitialize));
    delayedInitialize =
        reinterpret_cast<pluginapi::DelayedInitializeFn>(m_library.resolve(pluginapi::kDelayedInitialize));
    shutdown = reinterpret_cast<pluginapi::ShutdownFn>(m_library.resolve(pluginapi::kShutdown));
    name = reinterpret_cast<pluginapi::TextFn>(m_library.resolve(pluginapi::kName));
    showLog = reinterpret_cast<bool (*)(const QString &)>(m_library.resolve("_Z11ShowLogFuncRK7QString"));
    return initialize && delayedInitialize && shutdown && name && showLog;
}

QMainWindow *mainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("KeystrelMainWindow"))
            return qobject_cast<QMainWindow *>(widget);
    }
    return nullptr;
}

QTabWidget *pluginTabs()
{
    QMainWindow *window = mainWindow();
    return window ? window->findChild<QTabWidget *>(QStringLiteral("pluginTabs")) : nullptr;
}

QPlainTextEdit *logView()
{
    QMainWindow *window = mainWindow();
    return window ? window->findChild<QPlainTextEdit *>(QStringLiteral("logView")) : nullptr;
}

QStringList logLines()
{
    // Lines reach the view in batches: show what is pending first.
    if (QMainWindow *window = mainWindow())
        QMetaObject::invokeMethod(window->findChild<QWidget *>(QStringLiteral("logPane")), "flush");
    QPlainTextEdit *view = logView();
    return view ? view->toPlainText().split(QLatin1Char('\n')) : QStringList();
}

} // namespace coreharness
