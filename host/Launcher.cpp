#include "Launcher.h"

#include "CorePlugin.h"
#include "LookAndFeel.h"
#include "PathsAfterOptions.h"

#include <QApplication>
#include <QLibrary>
#include <QMessageBox>

// Q_INIT_RESOURCE must not sit inside a namespace.
static void registerResourceBundle()
{
    Q_INIT_RESOURCE(keystrel);
}

namespace {

void showLoadFailure()
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Core Plugin加载异常"), QStringLiteral("无法加载核心库"));
    box.exec();
}

} // namespace

int launcher::run(int &argc, char **argv)
{
    lookandfeel::setApplicationAttributes();
    // The application object keeps a reference to argc and the vector
    // itself: once the rest is back, it sees the whole command line again.
    PathsAfterOptions paths(argc, argv);
    QApplication app(argc, argv);
    paths.restore(argc, argv);
    const QString styleSheet = lookandfeel::styleSheet();
    lookandfeel::apply(app, styleSheet);
    // Already registered by static initialisation; this keeps the bundle's
    // object file linked in and adds nothing at run time.
    registerResourceBundle();

    const QString path = coreplugin::path();
    // Never unloaded: the core plug-in's code may run until the process ends.
    QLibrary library;
    coreplugin::Entries core;
    if (!coreplugin::load(library, path, core)) {
        showLoadFailure();
        return 0;
    }

    core.initialize(argc, argv);
    core.delayedInitialize();
    QObject::connect(
        &app, &QCoreApplication::aboutToQuit, &app, [&core] { core.shutdown(); }, Qt::DirectConnection);
    return app.exec();
}
