#include "DesktopNotice.h"

namespace DesktopNotice {

// A tray message belongs here; until then work ends silently on Windows.
std::unique_ptr<NoticeSink> systemSink()
{
    return nullptr;
}

} // namespace DesktopNotice
