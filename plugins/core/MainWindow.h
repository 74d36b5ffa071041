// The one window of the program: a tab per hosted plug-in above the log.
#pragma once

#include <QMainWindow>

class LogPane;
class QSplitter;
class QTabWidget;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    void addPluginTab(QWidget *page, const QString &label, const QString &toolTip);
    // Takes the page out of its tab without deleting it.
    void removePluginPage(QWidget *page);
    // Says where plug-ins are looked for when none was found.
    void showNoPluginsPage(const QString &folder);

    LogPane *logPane() const { return m_log; }
    QTabWidget *tabs() const { return m_tabs; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QSplitter *m_splitter;
    QTabWidget *m_tabs;
    LogPane *m_log;
};
