#include "WindowCloseWatch.h"

#include <QEvent>
#include <QWidget>

WindowCloseWatch::WindowCloseWatch(QWidget *widget)
    : m_window(widget ? widget->window() : nullptr)
{
    if (m_window)
        m_window->installEventFilter(this);
}

WindowCloseWatch::~WindowCloseWatch()
{
    if (m_window)
        m_window->removeEventFilter(this);
}

bool WindowCloseWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close && !m_closed) {
        m_closed = true;
        if (onClose)
            onClose();
    }
    return false; // the window closes as it would
}
