#include "platform/x11/X11FrontmostApplication.h"

#include <utility>

#include "platform/x11/XcbConnection.h"

namespace ivra::platform {

std::unique_ptr<X11FrontmostApplication> X11FrontmostApplication::create() {
    auto connection = XcbConnection::open();
    if (!connection) {
        return nullptr;
    }
    return std::unique_ptr<X11FrontmostApplication>(
        new X11FrontmostApplication(std::move(connection)));
}

X11FrontmostApplication::X11FrontmostApplication(std::unique_ptr<XcbConnection> connection)
    : m_connection(std::move(connection)) {
}

X11FrontmostApplication::~X11FrontmostApplication() = default;

std::optional<QString> X11FrontmostApplication::currentApplicationID() {
    const auto active = m_connection->cardinalProperty(
        m_connection->root(), m_connection->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!active || active->isEmpty() || active->first() == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    const xcb_window_t window = active->first();
    const auto pid = m_connection->cardinalProperty(window, m_connection->atom("_NET_WM_PID"),
                                                    XCB_ATOM_CARDINAL);
    return m_resolver.applicationID(*m_connection, window,
                                    pid && !pid->isEmpty() ? pid->first() : 0);
}

} // namespace ivra::platform
