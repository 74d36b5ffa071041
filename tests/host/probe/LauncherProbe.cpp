// Preloaded (LD_PRELOAD) into a launcher under test. It writes a JSON report
// of what the running process looks like to the file named by
// KEYSTREL_PROBE_REPORT, and closes every message box the launcher shows so
// that a run never waits for a user.
//
// A main window (the real core plug-in's) is described once it is up and then
// closed, which ends the program.
//
// Report keys: "beforeMain"/"afterMain" (bundle reachable around main()),
// "mainResult", "boxes" (one entry per message box), "windows" (one entry per
// main window: title, tab labels, log lines), "atQuit" (state when
// aboutToQuit is emitted).
#include <QAbstractButton>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QResource>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>

#include <dlfcn.h>
#include <memory>

namespace {

QJsonObject &report()
{
    static QJsonObject value;
    return value;
}

void saveReport()
{
    QFile file(QString::fromLocal8Bit(qgetenv("KEYSTREL_PROBE_REPORT")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QJsonDocument(report()).toJson());
}

void appendTo(const QString &key, const QJsonObject &entry)
{
    QJsonArray list = report().value(key).toArray();
    list.append(entry);
    report().insert(key, list);
}

QJsonObject bundleReachable()
{
    QFile font(QStringLiteral(":/fonts/roboto_regular"));
    QFile icon(QStringLiteral(":/icons/icons/image/svg/production/ic_blur_on_24px.svg"));
    return {{"font", font.open(QIODevice::ReadOnly) && !font.readAll().isEmpty()},
            {"icon", icon.open(QIODevice::ReadOnly) && !icon.readAll().isEmpty()}};
}

bool samePalette(const QString &styleName)
{
    std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
    return style && QApplication::style()->standardPalette() == style->standardPalette();
}

QJsonObject lookAndFeel()
{
    const QFont font = QApplication::font();
    return {
        {"fusionPalette", samePalette(QStringLiteral("Fusion"))},
        {"windowsPalette", samePalette(QStringLiteral("Windows"))},
        {"fontFamily", font.family()},
        {"fontPointSize", font.pointSize()},
        {"fontWeight", font.weight()},
        {"fontItalic", font.italic()},
        {"highDpiScaling", QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling)},
        {"highDpiPixmaps", QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps)},
        {"scaleFactorsPassedThrough",
         QGuiApplication::highDpiScaleFactorRoundingPolicy() == Qt::HighDpiScaleFactorRoundingPolicy::PassThrough},
        {"styleSheetPropagation", QCoreApplication::testAttribute(Qt::AA_UseStyleSheetPropagationInWidgetStyles)},
        {"styleSheet", qApp->styleSheet()},
        {"layoutDirection", int(QGuiApplication::layoutDirection())},
    };
}

QJsonObject bundle()
{
    QJsonObject fonts;
    const QDir fontDir(QStringLiteral(":/fonts"));
    for (const QString &name : fontDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        QFile file(fontDir.filePath(name));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        fonts.insert(name, QJsonObject{{"size", bytes.size()},
                                       {"md5", QString::fromLatin1(
                                                   QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex())}});
    }

    QJsonArray iconFiles;
    QJsonArray compressed;
    qint64 stored = 0;
    qint64 plain = 0;
    for (const QString &root : {QStringLiteral(":/fonts"), QStringLiteral(":/icons")}) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QResource resource(path);
            stored += resource.size();
            plain += resource.uncompressedSize();
            if (resource.compressionAlgorithm() != QResource::NoCompression)
                compressed.append(path);
            if (root == QLatin1String(":/icons"))
                iconFiles.append(path);
        }
    }

    QFile blurOn(QStringLiteral(":/icons/icons/image/svg/production/ic_blur_on_24px.svg"));
    const QByteArray blurOnBytes = blurOn.open(QIODevice::ReadOnly) ? blurOn.readAll() : QByteArray();

    return {
        {"fonts", fonts},
        {"fontWithExtension", QFile::exists(QStringLiteral(":/fonts/roboto_regular.ttf"))},
        {"iconsTopLevel", QJsonArray::fromStringList(
                              QDir(QStringLiteral(":/icons")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))},
        {"iconFiles", iconFiles},
        {"compressed", compressed},
        {"storedBytes", stored},
        {"uncompressedBytes", plain},
        {"blurOnSize", blurOnBytes.size()},
        {"blurOnIsSvg", blurOnBytes.startsWith("<svg")},
    };
}

QJsonObject describe(QMessageBox *box)
{
    QAbstractButton *ok = box->button(QMessageBox::Ok);
    return {
        {"title", box->windowTitle()},
        {"text", box->text()},
        {"icon", int(box->icon())},
        {"standardButtons", int(box->standardButtons())},
        {"buttonCount", box->buttons().size()},
        {"parentless", box->parentWidget() == nullptr},
        {"modality", int(box->windowModality())},
        {"windowFlags", int(box->windowFlags())},
        {"okButtonStyleClass", ok ? QString::fromLatin1(ok->style()->metaObject()->className()) : QString()},
        {"lookAndFeel", lookAndFeel()},
        {"bundle", bundle()},
    };
}

// Notes every message box as it is shown, then dismisses it from inside its
// own modal loop.
class BoxCloser : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show) {
            // Described once its own loop runs: Qt adds the default button
            // while the box is being shown.
            QTimer::singleShot(0, box, [box] {
                QJsonObject entry = describe(box);
                entry.insert("wasActiveModal", QApplication::activeModalWidget() == box);
                appendTo(QStringLiteral("boxes"), entry);
                saveReport();
                box->done(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

QJsonObject describe(QMainWindow *window)
{
    QJsonArray tabs;
    if (auto *tabWidget = window->findChild<QTabWidget *>(QStringLiteral("pluginTabs"))) {
        for (int i = 0; i < tabWidget->count(); ++i)
            tabs.append(tabWidget->tabText(i));
    }
    // The log pane gathers lines before it shows them.
    if (QWidget *pane = window->findChild<QWidget *>(QStringLiteral("logPane")))
        QMetaObject::invokeMethod(pane, "flush");
    auto *log = window->findChild<QPlainTextEdit *>(QStringLiteral("logView"));
    QJsonArray notes;
    for (const char *name : {"noPluginsNote", "unloadedPluginsNote"}) {
        if (auto *note = window->findChild<QLabel *>(QLatin1String(name)))
            notes.append(note->text());
    }
    return {
        {"title", window->windowTitle()},
        {"notes", notes},
        {"visible", window->isVisible()},
        {"tabs", tabs},
        {"log", QJsonArray::fromStringList(log ? log->toPlainText().split(QLatin1Char('\n')) : QStringList())},
    };
}

// Notes each main window once the event loop runs, then closes it.
class MainWindowCloser : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QMainWindow *>(watched);
        if (window && window->isWindow() && event->type() == QEvent::Show) {
            QTimer::singleShot(0, window, [window] {
                appendTo(QStringLiteral("windows"), describe(window));
                saveReport();
                window->close();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

void onApplicationCreated()
{
    report().insert("boxes", QJsonArray());
    report().insert("windows", QJsonArray());
    qApp->installEventFilter(new BoxCloser(qApp));
    qApp->installEventFilter(new MainWindowCloser(qApp));
    // Connected before the launcher's own handler, so this runs first.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
        report().insert("atQuit", QJsonObject{{"lookAndFeel", lookAndFeel()}, {"bundle", bundle()}});
        saveReport();
    });
    saveReport();
}

using MainFunction = int (*)(int, char **, char **);
MainFunction realMain = nullptr;

// Stands between the C runtime and main(): static initialisation is done
// before it runs, static destruction has not begun when main() returns.
int probedMain(int argc, char **argv, char **envp)
{
    report().insert("beforeMain", bundleReachable());
    saveReport();
    const int result = realMain(argc, argv, envp);
    report().insert("afterMain", bundleReachable());
    report().insert("mainResult", result);
    saveReport();
    return result;
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(onApplicationCreated)

// glibc's start-up routine, taken over to wrap main().
extern "C" Q_DECL_EXPORT int __libc_start_main(MainFunction main, int argc, char **argv, void (*init)(), void (*fini)(),
                                               void (*rtldFini)(), void *stackEnd)
{
    using StartMain = int (*)(MainFunction, int, char **, void (*)(), void (*)(), void (*)(), void *);
    const auto next = reinterpret_cast<StartMain>(dlsym(RTLD_NEXT, "__libc_start_main"));
    realMain = main;
    return next(probedMain, argc, argv, init, fini, rtldFini, stackEnd);
}
