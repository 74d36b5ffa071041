// The one window of the program: a tab per hosted plug-in above the log.
#pragma once

#include <QMainWindow>
#include <QStringList>

class LogPane;
class QLabel;
class QSplitter;
class QTabWidget;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Kept free around the window for the window manager's frame.
    static constexpr int kFrameAllowanceWidth = 16;
    static constexpr int kFrameAllowanceHeight = 48;

    explicit MainWindow(QWidget *parent = nullptr);

    void addPluginTab(QWidget *page, const QString &label, const QString &toolTip);
    // Takes the page out of its tab without deleting it.
    void removePluginPage(QWidget *page);
    // Says where plug-ins are looked for when none was found, and which of
    // the folder's could not be loaded and why.
    void showNoPluginsPage(const QString &folder, const QStringList &unloaded = QStringList());
    // Beside the plug-ins that were loaded: how many others could not be.
    void showUnloadedPlugins(const QStringList &unloaded);
    // Says why no plug-in of `folder` was loaded when others may change the
    // folder (`why`), and where the program's folder belongs instead.
    void showUntrustedFolderPage(const QString &folder, const QString &why);
    // Sizes and centres the window so that it and the frame the window
    // manager adds fit into `available` (a screen's area without panels).
    void placeWithin(const QRect &available);

    LogPane *logPane() const { return m_log; }
    QTabWidget *tabs() const { return m_tabs; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    // Takes the window system's request to close while a modal dialog (a
    // plug-in's progress dialog, say) blocks the window, which Qt would
    // drop: the window closes as asked, and the plug-ins see it close.
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

private:
    QLabel *addNotePage(const QString &text);

    QSplitter *m_splitter;
    QTabWidget *m_tabs;
    LogPane *m_log;
};
