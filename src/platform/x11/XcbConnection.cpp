#include "platform/x11/XcbConnection.h"

#include <cstring>

namespace ivra::platform {

namespace {

// Properties read here are short (titles, class names, window lists); this caps a hostile
// client's property at 4 MB.
constexpr uint32_t kMaxPropertyLength32 = 1 << 20;

} // namespace

std::unique_ptr<XcbConnection> XcbConnection::open() {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<XcbConnection>(new XcbConnection(connection, it.data));
}

XcbConnection::XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen)
    : m_connection(connection)
    , m_screen(screen) {
}

XcbConnection::~XcbConnection() {
    xcb_disconnect(m_connection);
}

xcb_atom_t XcbConnection::atom(const char* name) {
    const QByteArray key(name);
    if (const auto found = m_atoms.constFind(key); found != m_atoms.constEnd()) {
        return *found;
    }
    const auto reply =
        xcbReply(m_connection, xcb_intern_atom_reply,
                 xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(key.size()), name));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    if (atom != XCB_ATOM_NONE) {
        m_atoms.insert(key, atom);
    }
    return atom;
}

bool XcbConnection::hasExtension(xcb_extension_t* extension) const {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(m_connection, extension);
    return data != nullptr && data->present;
}

std::optional<QByteArray> XcbConnection::byteProperty(xcb_window_t window, xcb_atom_t property,
                                                      xcb_atom_t type) {
    const auto reply = xcbReply(
        m_connection, xcb_get_property_reply,
        xcb_get_property(m_connection, 0, window, property, type, 0, kMaxPropertyLength32));
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8) {
        return std::nullopt;
    }
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

std::optional<QList<quint32>>
XcbConnection::cardinalProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    const auto reply = xcbReply(
        m_connection, xcb_get_property_reply,
        xcb_get_property(m_connection, 0, window, property, type, 0, kMaxPropertyLength32));
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 32) {
        return std::nullopt;
    }
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    QList<quint32> values(count);
    if (count > 0) {
        std::memcpy(values.data(), xcb_get_property_value(reply.get()),
                    static_cast<size_t>(count) * 4);
    }
    return values;
}

} // namespace ivra::platform
