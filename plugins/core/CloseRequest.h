// The window system asking to close a window (its title bar's button, Alt+F4,
// `wmctrl -c`), seen in the native event that carries the request. Qt drops
// such a request while a modal dialog blocks the window, so a window that
// must close even then (to stop long work under a progress dialog) looks at
// these events itself.
#pragma once

#include <QByteArray>
#include <QWidget>

namespace closerequest {

// True when `message`, a native event of type `eventType`, asks to close
// `window`.
bool isCloseRequest(const QByteArray &eventType, void *message, WId window);

// Lets the window system deliver close requests to `window` while a modal
// dialog blocks it: Windows gives a window that Qt disabled no title bar
// button to press. Elsewhere nothing needs doing.
void keepClosable(WId window);

// The X11 protocol's part, on its own for tests: `event` (an X event as xcb
// hands it over, 32 bytes) is a client message to `window` of type
// `protocols` (WM_PROTOCOLS) that names `deleteWindow` (WM_DELETE_WINDOW).
bool isX11DeleteWindow(const void *event, quint32 window, quint32 protocols, quint32 deleteWindow);

} // namespace closerequest
