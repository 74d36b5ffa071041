#include "CloseRequest.h"

#include <windows.h>

namespace closerequest {

bool isCloseRequest(const QByteArray &eventType, void *message, WId window)
{
    if (eventType != "windows_generic_MSG" || !message)
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    return msg->hwnd == reinterpret_cast<HWND>(window) && msg->message == WM_CLOSE;
}

void keepClosable(WId window)
{
    // Qt disables a blocked window, and a disabled window's frame takes no
    // click. Qt itself still keeps input from its widgets.
    ::EnableWindow(reinterpret_cast<HWND>(window), TRUE);
}

} // namespace closerequest
