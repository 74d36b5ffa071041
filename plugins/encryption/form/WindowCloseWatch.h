// Notes when the top-level window that holds a widget is asked to close:
// its title bar's button, the window manager, the program's own quit. Long
// work stops there as 取消 stops it, and what was still to come of the same
// drop is not started.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

class WindowCloseWatch : public QObject
{
public:
    explicit WindowCloseWatch(QWidget *widget);
    ~WindowCloseWatch() override;
    Q_DISABLE_COPY(WindowCloseWatch)

    // Called once the window is asked to close, before it closes.
    std::function<void()> onClose;
    bool closed() const { return m_closed; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    bool m_closed = false;
};
