// The desktop's own notifications as a NoticeSink: freedesktop.org
// notifications over the session bus where there is one
// (DesktopNotice_unix.cpp); a tray message on Windows
// (QSystemTrayIcon::showMessage, DesktopNotice_win.cpp).
#pragma once

#include "WorkNotice.h"

#include <memory>

namespace desktopnotice {

// Null where this system has no way to tell the desktop.
std::unique_ptr<NoticeSink> systemSink();

} // namespace desktopnotice
