#pragma once

#include <cstdlib>
#include <memory>
#include <optional>

#include <xcb/xcb.h>

#include <QByteArray>
#include <QHash>
#include <QList>

namespace ivra::platform {

struct XcbFree {
    void operator()(void* pointer) const { std::free(pointer); }
};

// Replies and errors from xcb are malloc'ed and owned by the caller.
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

// Waits for the reply to `cookie`; nothing (and the error dropped) when the request failed.
template <typename Reply, typename Cookie>
XcbReply<Reply> xcbReply(xcb_connection_t* connection,
                         Reply* (*replyFunction)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                         Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    XcbReply<Reply> reply(replyFunction(connection, cookie, &error));
    std::free(error);
    return reply;
}

// A connection of our own to the X server named by DISPLAY (Qt's connection is private to
// its platform plugin), with its default screen and interned atoms.
class XcbConnection {
public:
    // Nothing when no X server accepts the connection.
    static std::unique_ptr<XcbConnection> open();
    ~XcbConnection();

    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    xcb_screen_t* screen() const { return m_screen; }
    xcb_window_t root() const { return m_screen->root; }

    // The atom of `name`, interned once per connection; XCB_ATOM_NONE when that fails.
    xcb_atom_t atom(const char* name);

    // Whether the server offers the extension (as seen at connect time).
    bool hasExtension(xcb_extension_t* extension) const;

    // A property's value as raw bytes (format 8) or 32-bit items (format 32); nothing when
    // the window lacks it or has gone.
    std::optional<QByteArray> byteProperty(xcb_window_t window, xcb_atom_t property,
                                           xcb_atom_t type);
    std::optional<QList<quint32>> cardinalProperty(xcb_window_t window, xcb_atom_t property,
                                                   xcb_atom_t type);

private:
    XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen);

    xcb_connection_t* m_connection = nullptr;
    xcb_screen_t* m_screen = nullptr;
    QHash<QByteArray, xcb_atom_t> m_atoms;
};

} // namespace ivra::platform
