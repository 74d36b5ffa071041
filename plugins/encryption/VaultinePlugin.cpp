// Entry set of the encryption plug-in, exported under plain names.
#include "filesystem/ProgramFiles.h"
#include "form/Form.h"

#include <QCoreApplication>
#include <QPointer>

using namespace vaultine;

namespace {

// The plug-in's one widget, from initializePlugin until shutdownPlugin.
QPointer<Form> g_form;

} // namespace

extern "C" {

Q_DECL_EXPORT int initializePlugin(int argc, char **argv)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    // Before any file is touched: the program's own files are never rewritten.
    if (QCoreApplication::instance())
        programfiles::protect(QCoreApplication::applicationFilePath());
    g_form = new Form(nullptr);
    return 0;
}

Q_DECL_EXPORT int delayedInitialize()
{
    return 0;
}

Q_DECL_EXPORT int shutdownPlugin()
{
    if (g_form)
        g_form->deleteLater();
    g_form = nullptr;
    return 0;
}

Q_DECL_EXPORT QWidget *pluginWidget()
{
    return g_form.data();
}

Q_DECL_EXPORT const char *pluginName()
{
    return "Encryption";
}

Q_DECL_EXPORT const char *pluginCategory()
{
    return "\xE6\x96\x87\xE6\x9C\xAC"; // 文本
}

Q_DECL_EXPORT const char *pluginDescription()
{
    return "";
}

// One function serves both names.
Q_DECL_EXPORT const char *pluginLicense() noexcept __attribute__((alias("pluginDescription")));

Q_DECL_EXPORT int pluginType()
{
    return 1;
}

Q_DECL_EXPORT const char *pluginVersion()
{
    return KEYSTREL_VERSION; // the project's, from CMake
}

} // extern "C"
