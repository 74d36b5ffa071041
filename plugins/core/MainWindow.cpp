#include "MainWindow.h"

#include "FolderAdvice.h"

#include "CloseRequest.h"
#include "LogPane.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_splitter(new QSplitter(Qt::Vertical, this))
    , m_tabs(new QTabWidget(m_splitter))
    , m_log(new LogPane(m_splitter))
{
    setObjectName(QStringLiteral("KeystrelMainWindow"));
    setWindowTitle(QStringLiteral("Keystrel"));

    m_tabs->setObjectName(QStringLiteral("pluginTabs"));
    m_tabs->setDocumentMode(true);
    m_splitter->setObjectName(QStringLiteral("logSplitter"));
    m_splitter->addWidget(m_tabs);
    m_splitter->addWidget(m_log);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setContentsMargins(6, 6, 6, 6);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);

    resize(760, 600);
    m_splitter->setSizes({400, 200});
}

void MainWindow::addPluginTab(QWidget *page, const QString &label, const QString &toolTip)
{
    const int index = m_tabs->addTab(page, label);
    m_tabs->setTabToolTip(index, toolTip);
}

void MainWindow::removePluginPage(QWidget *page)
{
    const int index = m_tabs->indexOf(page);
    if (index >= 0)
        m_tabs->removeTab(index);
    // Hand it back without a parent: its plug-in deletes it, not the window.
    if (page->parentWidget())
        page->setParent(nullptr);
}

void MainWindow::showNoPluginsPage(const QString &folder, const QStringList &unloaded)
{
    const QString where = QDir::toNativeSeparators(folder);
    const QString text = unloaded.isEmpty()
                             ? tr("插件目录中没有插件：\n%1").arg(where)
                             : tr("插件无法加载：\n%1\n\n插件目录：\n%2").arg(unloaded.join('\n'), where);
    addNotePage(text);
}

void MainWindow::showUntrustedFolderPage(const QString &folder, const QString &why)
{
    const QString advice = untrustedFolderAdvice();
    QLabel *note = addNotePage(tr("未加载插件：其他用户可以修改插件目录\n%1\n（%2）\n\n%3")
                                   .arg(QDir::toNativeSeparators(folder), why, advice));
    note->setWordWrap(true);
}

QLabel *MainWindow::addNotePage(const QString &text)
{
    auto *note = new QLabel(text, m_tabs);
    note->setObjectName(QStringLiteral("noPluginsNote"));
    note->setAlignment(Qt::AlignCenter);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_tabs->addTab(note, tr("插件"));
    return note;
}

void MainWindow::showUnloadedPlugins(const QStringList &unloaded)
{
    auto *note = new QLabel(tr("%1个插件无法加载（原因见日志）").arg(unloaded.size()), this);
    note->setObjectName(QStringLiteral("unloadedPluginsNote"));
    note->setToolTip(unloaded.join('\n'));
    statusBar()->addWidget(note);
}

void MainWindow::placeWithin(const QRect &available)
{
    // The title bar and borders are not known before the window is shown:
    // room for them is kept around it.
    const QSize frame(kFrameAllowanceWidth, kFrameAllowanceHeight);
    resize(size().boundedTo(available.size() - frame));
    const QSize outer = size() + frame;
    move(available.left() + qMax(0, (available.width() - outer.width()) / 2),
         available.top() + qMax(0, (available.height() - outer.height()) / 2));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window ends the program, even if a plug-in opened another
    // top-level window.
    event->accept();
    QCoreApplication::quit();
}

namespace {

bool blockedByModal(const QWidget *window)
{
    const QWidget *modal = QApplication::activeModalWidget();
    return modal && modal != window;
}

} // namespace

bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowBlocked) {
        // After Qt has done its part of blocking the window.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (blockedByModal(this))
                    closerequest::keepClosable(winId());
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::event(event);
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    if (blockedByModal(this) && closerequest::isCloseRequest(eventType, message, winId())) {
        // From the event loop, not from inside the window system's call.
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
        if (result)
            *result = 0;
        return true;
    }
    return QMainWindow::nativeEvent(eventType, message, result);
}
