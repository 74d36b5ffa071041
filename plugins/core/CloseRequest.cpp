#include "CloseRequest.h"

#include <cstring>

namespace closerequest {

bool isX11DeleteWindow(const void *event, quint32 window, quint32 protocols, quint32 deleteWindow)
{
    // An X client message on the wire: type, format, sequence number, then
    // the window, the message type and five 32-bit values.
    constexpr quint8 kClientMessage = 33;
    const auto *bytes = static_cast<const unsigned char *>(event);
    if ((bytes[0] & 0x7F) != kClientMessage || bytes[1] != 32 || protocols == 0 || deleteWindow == 0)
        return false;
    quint32 target = 0;
    quint32 type = 0;
    quint32 protocol = 0;
    std::memcpy(&target, bytes + 4, 4);
    std::memcpy(&type, bytes + 8, 4);
    std::memcpy(&protocol, bytes + 12, 4);
    return target == window && type == protocols && protocol == deleteWindow;
}

} // namespace closerequest
