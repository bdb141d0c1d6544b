#include "platform/x11/X11PointerPressMonitor.h"

#include <cstdlib>

#include <QGuiApplication>
#include <QScreen>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace ivra::platform {

namespace {

constexpr quint8 kLeftButton = 1;
constexpr quint8 kRightButton = 3;

// X11 positions are device pixels; Qt keeps each screen's origin and scales within it.
QPoint toLogical(QPoint native) {
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        const QRect nativeRect(logical.topLeft(), logical.size() * ratio);
        if (nativeRect.contains(native)) {
            return logical.topLeft() + (native - logical.topLeft()) / ratio;
        }
    }
    return native;
}

} // namespace

std::unique_ptr<X11PointerPressMonitor> X11PointerPressMonitor::create() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_input_id);
    auto* version = extension && extension->present
                        ? xcb_input_xi_query_version_reply(
                              connection, xcb_input_xi_query_version(connection, 2, 2), nullptr)
                        : nullptr;
    // Raw events reach clients without a grab from XInput 2.1 on.
    const bool usable = version && (version->major_version > 2 ||
                                    (version->major_version == 2 && version->minor_version >= 1));
    std::free(version);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!usable || !screen) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11PointerPressMonitor>(
        new X11PointerPressMonitor(connection, extension->major_opcode, screen->root));
}

X11PointerPressMonitor::X11PointerPressMonitor(xcb_connection_t* connection, quint8 xinputOpcode,
                                               quint32 root)
    : m_connection(connection)
    , m_xinputOpcode(xinputOpcode)
    , m_root(root)
    , m_notifier(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                   QSocketNotifier::Read)) {
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { readEvents(); });
}

X11PointerPressMonitor::~X11PointerPressMonitor() {
    m_notifier.reset();
    xcb_disconnect(m_connection);
}

bool X11PointerPressMonitor::start(std::function<void(QPoint)> onPress) {
    m_onPress = std::move(onPress);
    select(true);
    return true;
}

void X11PointerPressMonitor::stop() {
    m_onPress = nullptr;
    select(false);
}

void X11PointerPressMonitor::select(bool pressesWanted) {
    struct {
        xcb_input_event_mask_t header;
        quint32 mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                pressesWanted ? quint32(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
    xcb_input_xi_select_events(m_connection, m_root, 1, &selection.header);
    xcb_flush(m_connection);
}

void X11PointerPressMonitor::readEvents() {
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if (generic->extension == m_xinputOpcode &&
                generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
                const auto* raw =
                    reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
                pressed = pressed || raw->detail == kLeftButton || raw->detail == kRightButton;
            }
        }
        std::free(event);
    }
    // Raw events carry no position: the pointer is still where the press happened.
    if (pressed && m_onPress) {
        m_onPress(pointerPosition());
    }
}

QPoint X11PointerPressMonitor::pointerPosition() const {
    auto* reply =
        xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
    const QPoint native = reply ? QPoint(reply->root_x, reply->root_y) : QPoint();
    std::free(reply);
    return toLogical(native);
}

} // namespace ivra::platform
