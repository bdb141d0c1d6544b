#include "platform/x11/X11ScreenStream.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

#include <poll.h>

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xcb_renderutil.h>
#include <xcb/xfixes.h>

#include "capture/ScreenStream.h"
#include "platform/x11/ShmSegmentPool.h"
#include "platform/x11/X11WindowList.h"
#include "platform/x11/XcbConnection.h"

namespace ivra::platform {

namespace {

class IdleFrame final : public ScreenFrame {
public:
    explicit IdleFrame(int64_t timeNs)
        : m_timeNs(timeNs) {}
    FrameStatus status() const override { return FrameStatus::Idle; }
    int64_t presentationTimeNs() const override { return m_timeNs; }
    QSize sizePx() const override { return {}; }
    const uint8_t* bits() const override { return nullptr; }
    int bytesPerLine() const override { return 0; }

private:
    int64_t m_timeNs;
};

// Pixels in a shared segment, given back to the pool (and counted out of the frames in
// flight) when the consumer lets go, from whatever thread that is.
class SegmentFrame final : public ScreenFrame {
public:
    SegmentFrame(std::shared_ptr<ShmSegmentPool::Segment> segment, QSize sizePx, int64_t timeNs,
                 std::shared_ptr<std::atomic<int>> inFlight)
        : m_segment(std::move(segment))
        , m_sizePx(sizePx)
        , m_timeNs(timeNs)
        , m_inFlight(std::move(inFlight)) {}
    ~SegmentFrame() override {
        ShmSegmentPool::release(*m_segment);
        m_inFlight->fetch_sub(1);
    }
    SegmentFrame(const SegmentFrame&) = delete;
    SegmentFrame& operator=(const SegmentFrame&) = delete;

    FrameStatus status() const override { return FrameStatus::Complete; }
    int64_t presentationTimeNs() const override { return m_timeNs; }
    QSize sizePx() const override { return m_sizePx; }
    const uint8_t* bits() const override { return m_segment->data(); }
    int bytesPerLine() const override { return m_sizePx.width() * 4; }

private:
    std::shared_ptr<ShmSegmentPool::Segment> m_segment;
    QSize m_sizePx;
    int64_t m_timeNs;
    std::shared_ptr<std::atomic<int>> m_inFlight;
};

// Premultiplied ARGB over BGRX, clipped to the frame.
void drawSprite(uint8_t* frame, QSize framePx, int frameStride, const std::vector<uint32_t>& sprite,
                int spriteWidth, int spriteHeight, int left, int top) {
    for (int y = std::max(0, -top); y < spriteHeight && top + y < framePx.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(frame + size_t(top + y) * size_t(frameStride));
        for (int x = std::max(0, -left); x < spriteWidth && left + x < framePx.width(); ++x) {
            const uint32_t source = sprite[size_t(y) * size_t(spriteWidth) + size_t(x)];
            const uint32_t alpha = source >> 24;
            if (alpha == 0) {
                continue;
            }
            uint32_t& target = row[left + x];
            uint32_t result = 0xff000000U;
            for (int shift = 0; shift < 24; shift += 8) {
                const uint32_t s = (source >> shift) & 0xff;
                const uint32_t d = (target >> shift) & 0xff;
                result |= std::min<uint32_t>(255, s + (d * (255 - alpha) + 127) / 255) << shift;
            }
            target = result;
        }
    }
}

} // namespace

struct X11ScreenStream::Cursor {
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
    int left = 0; // top left on the root
    int top = 0;
    uint32_t serial = 0;
    bool known = false;
};

std::unique_ptr<X11ScreenStream> X11ScreenStream::create(const QRect& sourceRectPx,
                                                         const StreamConfiguration& configuration,
                                                         const QList<WindowID>& excludedWindows) {
    auto connection = XcbConnection::open();
    if (!connection || sourceRectPx.isEmpty() || !connection->hasExtension(&xcb_shm_id) ||
        !connection->hasExtension(&xcb_damage_id) || !connection->hasExtension(&xcb_xfixes_id)) {
        return nullptr;
    }
    xcb_connection_t* c = connection->get();
    // Each extension answers only after its version has been agreed on.
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    std::unique_ptr<X11ScreenStream> stream(
        new X11ScreenStream(std::move(connection), sourceRectPx, configuration, excludedWindows));
    if (!excludedWindows.isEmpty() && !stream->setUpExclusion()) {
        return nullptr;
    }
    return stream;
}

bool X11ScreenStream::setUpExclusion() {
    xcb_connection_t* c = m_connection->get();
    if (!m_connection->hasExtension(&xcb_composite_id) ||
        !m_connection->hasExtension(&xcb_render_id)) {
        return false;
    }
    std::free(xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr));
    std::free(xcb_render_query_version_reply(c, xcb_render_query_version(c, 0, 11), nullptr));
    const auto shm = xcbReply(c, xcb_shm_query_version_reply, xcb_shm_query_version(c));
    if (!shm || !shm->shared_pixmaps || shm->pixmap_format != XCB_IMAGE_FORMAT_Z_PIXMAP) {
        return false;
    }
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(c);
    const xcb_render_pictforminfo_t* argb =
        formats ? xcb_render_util_find_standard_format(formats, XCB_PICT_STANDARD_ARGB_32)
                : nullptr;
    const xcb_render_pictvisual_t* rootVisual =
        formats ? xcb_render_util_find_visual_format(formats, m_connection->screen()->root_visual)
                : nullptr;
    if (argb == nullptr || rootVisual == nullptr) {
        return false;
    }
    // Lasts as long as our connection; other clients' redirections are not disturbed.
    xcb_generic_error_t* failure =
        xcb_request_check(c, xcb_composite_redirect_subwindows_checked(
                                 c, m_connection->root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    if (failure != nullptr) {
        std::free(failure);
        return false;
    }
    const uint32_t includeInferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    m_rootPicture = xcb_generate_id(c);
    xcb_render_create_picture(c, m_rootPicture, m_connection->root(), rootVisual->format,
                              XCB_RENDER_CP_SUBWINDOW_MODE, &includeInferiors);
    m_argbFormat = argb->id;
    return true;
}

bool X11ScreenStream::composeWithoutExcluded(uint32_t segmentID) {
    xcb_connection_t* c = m_connection->get();
    const QRect& source = m_sourceRectPx;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const xcb_render_picture_t target = xcb_generate_id(c);
    xcb_shm_create_pixmap(c, pixmap, m_connection->root(), uint16_t(source.width()),
                          uint16_t(source.height()), 32, segmentID, 0);
    xcb_render_create_picture(c, target, pixmap, m_argbFormat, 0, nullptr);
    xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, m_rootPicture, XCB_RENDER_PICTURE_NONE, target,
                         int16_t(source.x()), int16_t(source.y()), 0, 0, 0, 0,
                         uint16_t(source.width()), uint16_t(source.height()));

    // The left-out windows' frames (looked up again each time: a window manager may have
    // reparented them since), where they are on screen inside the source.
    QList<xcb_window_t> excludedFrames;
    QList<QRect> holes;
    for (const WindowID client : m_excludedWindows) {
        const auto frame = X11WindowList::frameWindow(*m_connection, client);
        if (!frame) {
            continue;
        }
        const auto attributes =
            xcbReply(c, xcb_get_window_attributes_reply, xcb_get_window_attributes(c, *frame));
        const auto geometry = xcbReply(c, xcb_get_geometry_reply, xcb_get_geometry(c, *frame));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue;
        }
        const int border = geometry->border_width;
        const QRect hole = QRect(geometry->x, geometry->y, geometry->width + 2 * border,
                                 geometry->height + 2 * border)
                               .intersected(source);
        excludedFrames << *frame;
        if (!hole.isEmpty()) {
            holes << hole;
        }
    }
    if (!holes.isEmpty()) {
        // Each hole is painted again from the bottom of the stacking order up with every
        // window but the left-out ones, over black where no window is.
        std::vector<xcb_rectangle_t> clip;
        for (const QRect& hole : holes) {
            clip.push_back({int16_t(hole.x() - source.x()), int16_t(hole.y() - source.y()),
                            uint16_t(hole.width()), uint16_t(hole.height())});
        }
        xcb_render_set_picture_clip_rectangles(c, target, 0, 0, uint32_t(clip.size()), clip.data());
        const xcb_render_color_t black{0, 0, 0, 0xffff};
        xcb_render_fill_rectangles(c, XCB_RENDER_PICT_OP_SRC, target, black, uint32_t(clip.size()),
                                   clip.data());
        const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(c);
        const auto tree =
            xcbReply(c, xcb_query_tree_reply, xcb_query_tree(c, m_connection->root()));
        const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
        const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
        // All questions first, then the answers: one round trip for the whole list.
        std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
        std::vector<xcb_get_geometry_cookie_t> geometryCookies;
        for (int i = 0; i < count; ++i) {
            attributeCookies.push_back(xcb_get_window_attributes(c, children[i]));
            geometryCookies.push_back(xcb_get_geometry(c, children[i]));
        }
        for (int i = 0; i < count; ++i) {
            const xcb_window_t window = children[i];
            const auto attributes =
                xcbReply(c, xcb_get_window_attributes_reply, attributeCookies[size_t(i)]);
            const auto geometry = xcbReply(c, xcb_get_geometry_reply, geometryCookies[size_t(i)]);
            if (excludedFrames.contains(window) || !attributes || !geometry ||
                attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
                attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
                continue;
            }
            const int border = geometry->border_width;
            const QRect area(geometry->x, geometry->y, geometry->width + 2 * border,
                             geometry->height + 2 * border);
            const bool touches = std::any_of(holes.begin(), holes.end(), [&](const QRect& hole) {
                return hole.intersects(area);
            });
            const xcb_render_pictvisual_t* visual =
                xcb_render_util_find_visual_format(formats, attributes->visual);
            if (!touches || visual == nullptr) {
                continue;
            }
            // The window's own pixels, border included, as the server keeps them off screen.
            const xcb_pixmap_t windowPixmap = xcb_generate_id(c);
            const xcb_render_picture_t windowPicture = xcb_generate_id(c);
            xcb_composite_name_window_pixmap(c, window, windowPixmap);
            xcb_render_create_picture(c, windowPicture, windowPixmap, visual->format, 0, nullptr);
            xcb_render_composite(
                c, geometry->depth == 32 ? XCB_RENDER_PICT_OP_OVER : XCB_RENDER_PICT_OP_SRC,
                windowPicture, XCB_RENDER_PICTURE_NONE, target, 0, 0, 0, 0,
                int16_t(area.x() - source.x()), int16_t(area.y() - source.y()),
                uint16_t(area.width()), uint16_t(area.height()));
            xcb_render_free_picture(c, windowPicture);
            xcb_free_pixmap(c, windowPixmap);
        }
    }
    xcb_render_free_picture(c, target);
    xcb_free_pixmap(c, pixmap);
    // A round trip: every request before it is done, the pixels are in the segment.
    xcb_generic_error_t* failure = nullptr;
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), &failure));
    const bool ok = failure == nullptr && xcb_connection_has_error(c) == 0;
    std::free(failure);
    return ok;
}

X11ScreenStream::X11ScreenStream(std::unique_ptr<XcbConnection> connection,
                                 const QRect& sourceRectPx,
                                 const StreamConfiguration& configuration,
                                 QList<WindowID> excludedWindows)
    : m_connection(std::move(connection))
    , m_pool(std::make_unique<ShmSegmentPool>(m_connection->get()))
    , m_sourceRectPx(sourceRectPx)
    , m_configuration(configuration)
    , m_excludedWindows(std::move(excludedWindows))
    , m_cursor(std::make_unique<Cursor>()) {
    m_damageNotifyEvent = xcb_get_extension_data(m_connection->get(), &xcb_damage_id)->first_event +
                          XCB_DAMAGE_NOTIFY;
}

X11ScreenStream::~X11ScreenStream() {
    stopCapture();
    // The pool detaches its segments through the connection, so it goes first.
    m_pool.reset();
    if (m_rootPicture != 0) {
        xcb_render_free_picture(m_connection->get(), m_rootPicture);
    }
}

std::optional<CaptureError> X11ScreenStream::startCapture(FrameHandler handler) {
    if (m_running.load()) {
        return CaptureError{QStringLiteral("The screen is already being recorded.")};
    }
    xcb_connection_t* c = m_connection->get();
    m_damage = xcb_generate_id(c);
    // A bounding box per batch of changes is all we need to know: changed inside the
    // rectangle or not.
    xcb_generic_error_t* failure =
        xcb_request_check(c, xcb_damage_create_checked(c, m_damage, m_connection->root(),
                                                       XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX));
    if (failure != nullptr) {
        std::free(failure);
        m_damage = 0;
        return CaptureError{QStringLiteral("The X server does not report screen changes.")};
    }
    m_running.store(true);
    m_thread = std::thread([this, handler = std::move(handler)] { run(handler); });
    return std::nullopt;
}

void X11ScreenStream::stopCapture() {
    if (!m_running.exchange(false)) {
        return;
    }
    m_thread.join();
    xcb_damage_destroy(m_connection->get(), m_damage);
    xcb_flush(m_connection->get());
    m_damage = 0;
}

void X11ScreenStream::run(const FrameHandler& handler) {
    const int64_t intervalNs = std::max<int64_t>(1, m_configuration.minimumFrameIntervalNs);
    // The first frame shows the screen as it is.
    bool dirty = true;
    int64_t lastFrameNs = std::numeric_limits<int64_t>::min() / 2;
    int64_t nextIdleNs = hostTimeNs();
    while (m_running.load()) {
        // The pointer is looked at once an interval (its moves make no damage); damage
        // events are read as they come.
        if (m_configuration.showsCursor && hostTimeNs() >= m_nextCursorCheckNs) {
            m_nextCursorCheckNs = hostTimeNs() + intervalNs;
            dirty = takeCursorChange() || dirty;
        }
        dirty = takeDamage() || dirty;
        const int64_t nowNs = hostTimeNs();
        if (dirty && nowNs >= lastFrameNs + intervalNs) {
            if (m_inFlight->load() >= m_configuration.queueDepth) {
                m_dropped.fetch_add(1);
                lastFrameNs = nowNs;
                continue;
            }
            // Changes from now on belong to the next frame.
            xcb_damage_subtract(m_connection->get(), m_damage, XCB_NONE, XCB_NONE);
            if (auto frame = grab(nowNs)) {
                dirty = false;
                handler(std::move(frame));
            }
            // A failed grab is tried again an interval later, never in a busy loop.
            lastFrameNs = nowNs;
            nextIdleNs = nowNs + intervalNs;
            continue;
        }
        if (!dirty && nowNs >= nextIdleNs) {
            handler(std::make_shared<IdleFrame>(nowNs));
            nextIdleNs = nowNs + intervalNs;
        }
        // A change is grabbed as soon as the interval since the last frame allows: the first
        // change after a still moment goes out at once, not at the next tick.
        int64_t wakeNs = dirty ? lastFrameNs + intervalNs : nextIdleNs;
        if (m_configuration.showsCursor) {
            wakeNs = std::min(wakeNs, m_nextCursorCheckNs);
        }
        waitForEvents(dirty ? -1 : xcb_get_file_descriptor(m_connection->get()), wakeNs);
    }
}

void X11ScreenStream::waitForEvents(int fd, int64_t untilNs) {
    const int64_t waitNs = untilNs - hostTimeNs();
    if (waitNs <= 0) {
        return;
    }
    const timespec timeout{time_t(waitNs / 1'000'000'000), long(waitNs % 1'000'000'000)};
    pollfd descriptor{fd, POLLIN, 0};
    ppoll(&descriptor, fd >= 0 ? 1 : 0, &timeout, nullptr);
}

bool X11ScreenStream::takeDamage() {
    bool touched = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection->get())) {
        if ((event->response_type & 0x7f) == m_damageNotifyEvent) {
            const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event);
            const QRect area(notify->area.x, notify->area.y, notify->area.width,
                             notify->area.height);
            touched = touched || area.intersects(m_sourceRectPx);
        }
        std::free(event);
    }
    return touched;
}

bool X11ScreenStream::takeCursorChange() {
    xcb_connection_t* c = m_connection->get();
    const auto image =
        xcbReply(c, xcb_xfixes_get_cursor_image_reply, xcb_xfixes_get_cursor_image(c));
    if (!image) {
        return false;
    }
    const int left = image->x - image->xhot;
    const int top = image->y - image->yhot;
    Cursor& cursor = *m_cursor;
    if (cursor.known && cursor.serial == image->cursor_serial && cursor.left == left &&
        cursor.top == top) {
        return false;
    }
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(image.get());
    cursor.pixels.assign(pixels, pixels + size_t(image->width) * size_t(image->height));
    cursor.width = image->width;
    cursor.height = image->height;
    cursor.left = left;
    cursor.top = top;
    cursor.serial = image->cursor_serial;
    cursor.known = true;
    return true;
}

std::shared_ptr<const ScreenFrame> X11ScreenStream::grab(int64_t timeNs) {
    xcb_connection_t* c = m_connection->get();
    const QRect& rect = m_sourceRectPx;
    const size_t sizeBytes = size_t(rect.width()) * 4 * size_t(rect.height());
    auto segment = m_pool->acquire(sizeBytes);
    if (!segment) {
        return nullptr;
    }
    bool grabbed = false;
    if (m_rootPicture != 0) {
        grabbed = composeWithoutExcluded(segment->id());
    } else {
        grabbed = bool(xcbReply(c, xcb_shm_get_image_reply,
                                xcb_shm_get_image(c, m_connection->root(), int16_t(rect.x()),
                                                  int16_t(rect.y()), uint16_t(rect.width()),
                                                  uint16_t(rect.height()), ~0U,
                                                  XCB_IMAGE_FORMAT_Z_PIXMAP, segment->id(), 0)));
    }
    if (!grabbed) {
        ShmSegmentPool::release(*segment);
        return nullptr;
    }
    if (m_configuration.showsCursor && m_cursor->known) {
        const Cursor& cursor = *m_cursor;
        drawSprite(segment->data(), rect.size(), rect.width() * 4, cursor.pixels, cursor.width,
                   cursor.height, cursor.left - rect.x(), cursor.top - rect.y());
    }
    m_inFlight->fetch_add(1);
    return std::make_shared<SegmentFrame>(std::move(segment), rect.size(), timeNs, m_inFlight);
}

} // namespace ivra::platform
