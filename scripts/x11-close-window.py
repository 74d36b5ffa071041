#!/usr/bin/env python3
"""Asks the X11 windows titled NAME to close, as a window manager's close
button (or `wmctrl -c`) does: a WM_DELETE_WINDOW client message to each.
Through libxcb with ctypes, so that it needs no package of its own.
Usage: x11-close-window.py NAME   (exit 1 when no such window is found)"""
import ctypes
import sys

xcb = ctypes.CDLL("libxcb.so.1")


class Cookie(ctypes.Structure):
    _fields_ = [("sequence", ctypes.c_uint)]


class AtomReply(ctypes.Structure):
    _fields_ = [("response_type", ctypes.c_uint8), ("pad0", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                ("length", ctypes.c_uint32), ("atom", ctypes.c_uint32)]


class TreeReply(ctypes.Structure):
    _fields_ = [("response_type", ctypes.c_uint8), ("pad0", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                ("length", ctypes.c_uint32), ("root", ctypes.c_uint32), ("parent", ctypes.c_uint32),
                ("children_len", ctypes.c_uint16), ("pad1", ctypes.c_uint8 * 14)]


class PropertyReply(ctypes.Structure):
    _fields_ = [("response_type", ctypes.c_uint8), ("format", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                ("length", ctypes.c_uint32), ("type", ctypes.c_uint32), ("bytes_after", ctypes.c_uint32),
                ("value_len", ctypes.c_uint32), ("pad0", ctypes.c_uint8 * 12)]


class ClientMessage(ctypes.Structure):
    _fields_ = [("response_type", ctypes.c_uint8), ("format", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                ("window", ctypes.c_uint32), ("type", ctypes.c_uint32), ("data", ctypes.c_uint32 * 5)]


class Screen(ctypes.Structure):
    _fields_ = [("root", ctypes.c_uint32)]


class ScreenIterator(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(Screen)), ("rem", ctypes.c_int), ("index", ctypes.c_int)]


xcb.xcb_connect.restype = ctypes.c_void_p
xcb.xcb_get_setup.restype = ctypes.c_void_p
xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
xcb.xcb_setup_roots_iterator.restype = ScreenIterator
xcb.xcb_setup_roots_iterator.argtypes = [ctypes.c_void_p]
xcb.xcb_intern_atom.restype = Cookie
xcb.xcb_intern_atom.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint16, ctypes.c_char_p]
xcb.xcb_intern_atom_reply.restype = ctypes.POINTER(AtomReply)
xcb.xcb_intern_atom_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
xcb.xcb_query_tree.restype = Cookie
xcb.xcb_query_tree.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
xcb.xcb_query_tree_reply.restype = ctypes.POINTER(TreeReply)
xcb.xcb_query_tree_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
xcb.xcb_query_tree_children.restype = ctypes.POINTER(ctypes.c_uint32)
xcb.xcb_query_tree_children.argtypes = [ctypes.POINTER(TreeReply)]
xcb.xcb_get_property.restype = Cookie
xcb.xcb_get_property.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32,
                                 ctypes.c_uint32, ctypes.c_uint32]
xcb.xcb_get_property_reply.restype = ctypes.POINTER(PropertyReply)
xcb.xcb_get_property_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
xcb.xcb_get_property_value.restype = ctypes.c_void_p
xcb.xcb_get_property_value.argtypes = [ctypes.POINTER(PropertyReply)]
xcb.xcb_send_event.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_void_p]
xcb.xcb_flush.argtypes = [ctypes.c_void_p]
xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
libc = ctypes.CDLL(None)
libc.free.argtypes = [ctypes.c_void_p]

XCB_ATOM_WM_NAME, XCB_ATOM_ANY, XCB_CLIENT_MESSAGE = 39, 0, 33


def atom(connection, name):
    reply = xcb.xcb_intern_atom_reply(connection, xcb.xcb_intern_atom(connection, 0, len(name), name), None)
    value = reply.contents.atom
    libc.free(reply)
    return value


def main():
    name = sys.argv[1].encode()
    connection = xcb.xcb_connect(None, None)
    root = xcb.xcb_setup_roots_iterator(xcb.xcb_get_setup(connection)).data.contents.root
    protocols, delete = atom(connection, b"WM_PROTOCOLS"), atom(connection, b"WM_DELETE_WINDOW")
    tree = xcb.xcb_query_tree_reply(connection, xcb.xcb_query_tree(connection, root), None)
    children = xcb.xcb_query_tree_children(tree)
    sent = 0
    for i in range(tree.contents.children_len):
        window = children[i]
        reply = xcb.xcb_get_property_reply(
            connection, xcb.xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64), None)
        if reply:
            title = ctypes.string_at(xcb.xcb_get_property_value(reply), reply.contents.value_len)
            libc.free(reply)
            if title == name:
                message = ClientMessage(XCB_CLIENT_MESSAGE, 32, 0, window, protocols, (ctypes.c_uint32 * 5)(delete))
                xcb.xcb_send_event(connection, 0, window, 0, ctypes.byref(message))
                sent += 1
    libc.free(tree)
    xcb.xcb_flush(connection)
    xcb.xcb_disconnect(connection)
    print(f"asked {sent} window(s) titled {sys.argv[1]} to close")
    return 0 if sent else 1


if __name__ == "__main__":
    sys.exit(main())
