#include "CloseRequest.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>

namespace closerequest {
namespace {

// libxcb, as Qt's xcb platform plug-in has loaded it; looked up rather than
// linked, so that the core plug-in needs no X library where none is used.
struct xcb_connection_t;
struct InternCookie
{
    unsigned int sequence;
};
struct InternReply
{
    std::uint8_t responseType;
    std::uint8_t pad;
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint32_t atom;
};
using ConnectFn = xcb_connection_t *(*)(const char *, int *);
using HasErrorFn = int (*)(xcb_connection_t *);
using InternAtomFn = InternCookie (*)(xcb_connection_t *, std::uint8_t, std::uint16_t, const char *);
using InternReplyFn = InternReply *(*)(xcb_connection_t *, InternCookie, void **);
using DisconnectFn = void (*)(xcb_connection_t *);

struct Atoms
{
    quint32 protocols = 0;
    quint32 deleteWindow = 0;
};

// Atoms belong to the X server, not to a connection: a short connection of
// our own finds the ones Qt's has.
Atoms lookUpAtoms()
{
    Atoms atoms;
    const auto connect = reinterpret_cast<ConnectFn>(::dlsym(RTLD_DEFAULT, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasErrorFn>(::dlsym(RTLD_DEFAULT, "xcb_connection_has_error"));
    const auto intern = reinterpret_cast<InternAtomFn>(::dlsym(RTLD_DEFAULT, "xcb_intern_atom"));
    const auto reply = reinterpret_cast<InternReplyFn>(::dlsym(RTLD_DEFAULT, "xcb_intern_atom_reply"));
    const auto disconnect = reinterpret_cast<DisconnectFn>(::dlsym(RTLD_DEFAULT, "xcb_disconnect"));
    if (!connect || !hasError || !intern || !reply || !disconnect)
        return atoms;
    xcb_connection_t *connection = connect(nullptr, nullptr);
    if (connection && !hasError(connection)) {
        const InternCookie protocols = intern(connection, 1, 12, "WM_PROTOCOLS");
        const InternCookie deleteWindow = intern(connection, 1, 16, "WM_DELETE_WINDOW");
        for (auto [cookie, atom] :
             {std::make_pair(protocols, &atoms.protocols), std::make_pair(deleteWindow, &atoms.deleteWindow)}) {
            if (InternReply *answer = reply(connection, cookie, nullptr)) {
                *atom = answer->atom;
                std::free(answer);
            }
        }
    }
    if (connection)
        disconnect(connection);
    return atoms;
}

} // namespace

bool isCloseRequest(const QByteArray &eventType, void *message, WId window)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    constexpr unsigned char kClientMessage = 33;
    if ((*static_cast<const unsigned char *>(message) & 0x7F) != kClientMessage)
        return false;
    static const Atoms atoms = lookUpAtoms();
    return isX11DeleteWindow(message, quint32(window), atoms.protocols, atoms.deleteWindow);
}

void keepClosable(WId)
{
}

} // namespace closerequest
