// A plug-in for the launch test under Wine: a widget that takes drops, and a
// report of what the running program shows, written once the window is up
// (KEYSTREL_WINPROBE_REPORT names the file), after which it quits. With
// KEYSTREL_WINPROBE_STAY=1 it stays until the first drop, which it adds to
// the report ("drop <direction> <path>|<path>...") before it quits. A close
// event that reaches the window is added to the report too ("window close
// event"), as the title bar's close button would send it. The report also
// says whether a bundled SVG icon is drawn ("svg icon drawn"), how Qt says
// "Cancel" ("qt text ..."), and where the window sits on its screen ("frame
// X Y W H inside X Y W H in X Y W H": its frame, its inside, the screen's
// free area; then device pixels per pixel).
#include "PluginApi.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMimeData>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace {

QWidget *g_widget = nullptr;

void appendToReport(const QStringList &lines)
{
    QFile file(qEnvironmentVariable("KEYSTREL_WINPROBE_REPORT"));
    if (file.open(QIODevice::Append))
        file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

class DropLabel : public QLabel
{
public:
    DropLabel()
        : QLabel(QStringLiteral("probe"))
    {
        setAcceptDrops(true);
    }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent *event) override
    {
        QStringList paths;
        for (const QUrl &url : event->mimeData()->urls())
            paths << url.toLocalFile();
        const QString format = QLatin1String(pluginapi::kDropDirectionFormat);
        const QByteArray direction = event->mimeData()->hasFormat(format) ? event->mimeData()->data(format) : "none";
        appendToReport(
            {QStringLiteral("drop %1 %2").arg(QString::fromLatin1(direction), paths.join(QLatin1Char('|')))});
        QCoreApplication::quit();
    }
};

// Notes the close events of the window it sits in.
class CloseWatch : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            appendToReport({QStringLiteral("window close event")});
        return QObject::eventFilter(watched, event);
    }
};

// Whether the icon, drawn at 32 by 32, has any pixel that is not
// transparent: without an SVG icon engine a QIcon of an SVG file is empty.
bool drawsPixels(const QIcon &icon)
{
    const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
        }
    }
    return false;
}

QString rectText(const QRect &rect)
{
    return QStringLiteral("%1 %2 %3 %4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

void report()
{
    QStringList lines;
    const QIcon bundled(QStringLiteral(":/icons/icons/action/svg/production/ic_lock_24px.svg"));
    lines << QStringLiteral("svg icon %1").arg(drawsPixels(bundled) ? "drawn" : "not drawn");
    lines << QStringLiteral("qt text ") + QCoreApplication::translate("QPlatformTheme", "Cancel");
    for (QWidget *top : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<QMainWindow *>(top);
        if (!window)
            continue;
        lines << QStringLiteral("window %1 %2").arg(window->isVisible() ? "visible" : "hidden", window->windowTitle());
        if (const QScreen *screen = window->screen()) {
            lines << QStringLiteral("frame %1 inside %2 in %3, %4 device pixels per pixel")
                         .arg(rectText(window->frameGeometry()), rectText(window->geometry()),
                              rectText(screen->availableGeometry()))
                         .arg(screen->devicePixelRatio());
        }
        // The widget that asks for the most width: the one to blame when the
        // window outgrows its screen.
        QWidget *widest = nullptr;
        for (QWidget *child : window->findChildren<QWidget *>()) {
            if (!widest || child->minimumSizeHint().width() > widest->minimumSizeHint().width())
                widest = child;
        }
        if (widest) {
            lines << QStringLiteral("widest %1 %2 %3 in %4")
                         .arg(QString::fromLatin1(widest->metaObject()->className()), widest->objectName())
                         .arg(widest->minimumSizeHint().width())
                         .arg(widest->parentWidget() ? widest->parentWidget()->objectName() : QString());
        }
        if (auto *tabs = window->findChild<QTabWidget *>()) {
            for (int i = 0; i < tabs->count(); ++i)
                lines << QStringLiteral("tab ") + tabs->tabText(i);
        }
    }
    lines << QStringLiteral("probe parent %1").arg(g_widget && g_widget->window()->isVisible() ? "shown" : "not shown");
    appendToReport(lines);
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
    g_widget->window()->installEventFilter(new CloseWatch);
    if (qEnvironmentVariable("KEYSTREL_WINPROBE_STAY") != QLatin1String("1"))
        QCoreApplication::quit();
}

} // namespace

extern "C" {

Q_DECL_EXPORT int initializePlugin(int, char **)
{
    ShowLogFunc(QStringLiteral("Probe says hello"));
    g_widget = new DropLabel;
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
