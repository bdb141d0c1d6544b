#include "platform/x11/X11ScreenCaptureBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xcb_renderutil.h>
#include <xcb/xfixes.h>

#include <QPainter>
#include <QTimer>

#include "platform/x11/ShmSegmentPool.h"
#include "platform/x11/X11DisplayMap.h"
#include "platform/x11/X11ScreenStream.h"
#include "platform/x11/X11WindowList.h"
#include "platform/x11/XcbConnection.h"

namespace ivra::platform {

namespace {

// After a window is first redirected its pixmap holds what was on the screen there; the
// client repaints the covered parts in answer to the exposure. Under Xvfb a read right
// after the redirect showed the covering window in 1 of 3 runs; after 300 ms, never.
constexpr int kRedirectSettleMs = 300;

// Frees a server-side pixmap when leaving the scope.
class ScopedPixmap {
public:
    ScopedPixmap(xcb_connection_t* connection, xcb_pixmap_t pixmap)
        : m_connection(connection)
        , m_pixmap(pixmap) {}
    ~ScopedPixmap() { xcb_free_pixmap(m_connection, m_pixmap); }
    ScopedPixmap(const ScopedPixmap&) = delete;
    ScopedPixmap& operator=(const ScopedPixmap&) = delete;

private:
    xcb_connection_t* m_connection;
    xcb_pixmap_t m_pixmap;
};

CaptureError error(const QString& description) {
    return CaptureError{description};
}

// X gives no alpha for a 24-bit visual; the padding byte is whatever the server left.
void makeOpaque(QImage& image) {
    const qsizetype count = image.sizeInBytes() / 8;
    auto* words = reinterpret_cast<quint64*>(image.bits());
    for (qsizetype i = 0; i < count; ++i) {
        words[i] |= 0xff000000ff000000ULL;
    }
    if (image.sizeInBytes() % 8 != 0) {
        reinterpret_cast<quint32*>(words + count)[0] |= 0xff000000U;
    }
}

// Whether the root's pixels are 8-bit BGRX/BGRA in 32-bit little-endian units, the layout
// QImage::Format_RGB32 and Format_ARGB32 share.
QString screenFormatProblem(const xcb_setup_t* setup, const xcb_screen_t* screen) {
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return QStringLiteral("The X server sends images in big-endian byte order.");
    }
    bool thirtyTwoBits = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            thirtyTwoBits = it.data->bits_per_pixel == 32;
        }
    }
    if (!thirtyTwoBits || (screen->root_depth != 24 && screen->root_depth != 32)) {
        return QStringLiteral("The X screen has depth %1; only 24 and 32 bits per pixel can "
                              "be captured.")
            .arg(screen->root_depth);
    }
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
             xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t* visual = visuals.data;
            if (visual->visual_id == screen->root_visual) {
                const bool bgr = visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 &&
                                 visual->blue_mask == 0xff;
                return bgr ? QString()
                           : QStringLiteral("The X screen's colour masks are not 8-bit RGB.");
            }
        }
    }
    return QStringLiteral("The X screen's visual is unknown.");
}

QImage fitted(QImage image, QSize sizePx, bool scalesToFit) {
    if (image.size() == sizePx) {
        return image;
    }
    if (scalesToFit) {
        return image.scaled(sizePx, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // The window at its own size in the top-left corner, cut off or padded.
    return image.copy(QRect(QPoint(0, 0), sizePx));
}

} // namespace

std::unique_ptr<X11ScreenCaptureBackend> X11ScreenCaptureBackend::create(Options options) {
    auto connection = XcbConnection::open();
    if (!connection) {
        return nullptr;
    }
    xcb_connection_t* c = connection->get();
    if (!connection->hasExtension(&xcb_randr_id)) {
        return nullptr;
    }
    const auto randr = xcbReply(c, xcb_randr_query_version_reply, xcb_randr_query_version(c, 1, 5));
    if (!randr || randr->major_version < 1 ||
        (randr->major_version == 1 && randr->minor_version < 5)) {
        return nullptr;
    }
    // Each extension answers only after its version has been agreed on.
    if (connection->hasExtension(&xcb_xfixes_id)) {
        std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    }
    if (connection->hasExtension(&xcb_composite_id)) {
        std::free(
            xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr));
    }
    const bool useSharedMemory = options.useSharedMemory && connection->hasExtension(&xcb_shm_id);
    return std::unique_ptr<X11ScreenCaptureBackend>(
        new X11ScreenCaptureBackend(std::move(connection), useSharedMemory));
}

X11ScreenCaptureBackend::X11ScreenCaptureBackend(std::unique_ptr<XcbConnection> connection,
                                                 bool useSharedMemory)
    : m_connection(std::move(connection))
    , m_formatProblem(
          screenFormatProblem(xcb_get_setup(m_connection->get()), m_connection->screen())) {
    if (useSharedMemory) {
        m_pool = std::make_unique<ShmSegmentPool>(m_connection->get());
        setUpOpaqueGrabs();
    }
}

void X11ScreenCaptureBackend::setUpOpaqueGrabs() {
    xcb_connection_t* c = m_connection->get();
    if (!m_connection->hasExtension(&xcb_render_id)) {
        return;
    }
    std::free(xcb_render_query_version_reply(c, xcb_render_query_version(c, 0, 11), nullptr));
    const auto shm = xcbReply(c, xcb_shm_query_version_reply, xcb_shm_query_version(c));
    if (!shm || !shm->shared_pixmaps || shm->pixmap_format != XCB_IMAGE_FORMAT_Z_PIXMAP) {
        return;
    }
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(c);
    if (formats == nullptr) {
        return;
    }
    const xcb_render_pictforminfo_t* argb =
        xcb_render_util_find_standard_format(formats, XCB_PICT_STANDARD_ARGB_32);
    const xcb_render_pictvisual_t* rootVisual =
        xcb_render_util_find_visual_format(formats, m_connection->screen()->root_visual);
    if (argb == nullptr || rootVisual == nullptr) {
        return;
    }
    // The root's picture includes its children: what the screen shows.
    const uint32_t includeInferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    const xcb_render_picture_t picture = xcb_generate_id(c);
    xcb_generic_error_t* failure = xcb_request_check(
        c, xcb_render_create_picture_checked(c, picture, m_connection->root(), rootVisual->format,
                                             XCB_RENDER_CP_SUBWINDOW_MODE, &includeInferiors));
    if (failure != nullptr) {
        std::free(failure);
        return;
    }
    m_rootPicture = picture;
    m_argbFormat = argb->id;
}

// The pool detaches its segments through the connection, so it goes first.
X11ScreenCaptureBackend::~X11ScreenCaptureBackend() {
    m_pool.reset();
    if (m_rootPicture != 0) {
        xcb_render_free_picture(m_connection->get(), m_rootPicture);
    }
}

QString X11ScreenCaptureBackend::name() const {
    return QStringLiteral("x11");
}

size_t X11ScreenCaptureBackend::sharedMemorySegmentCount() const {
    return m_pool ? m_pool->segmentCount() : 0;
}

CaptureResult<X11DisplayMap> X11ScreenCaptureBackend::displayMap() const {
    xcb_connection_t* c = m_connection->get();
    const auto reply = xcbReply(c, xcb_randr_get_monitors_reply,
                                xcb_randr_get_monitors(c, m_connection->root(), 1));
    if (!reply) {
        return error(QStringLiteral("The X server did not list its monitors."));
    }
    QList<X11Monitor> monitors;
    QList<xcb_get_atom_name_cookie_t> names;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t* info = it.data;
        monitors << X11Monitor{info->name, QString(),
                               QRect(info->x, info->y, info->width, info->height),
                               info->primary != 0};
        names << xcb_get_atom_name(c, info->name);
    }
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        if (const auto name = xcbReply(c, xcb_get_atom_name_reply, names.at(i))) {
            monitors[i].name = QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                                                 xcb_get_atom_name_name_length(name.get()));
        }
    }
    // The primary monitor first, as Qt lists its screens.
    std::stable_partition(monitors.begin(), monitors.end(),
                          [](const X11Monitor& monitor) { return monitor.primary; });
    return X11DisplayMap(std::move(monitors));
}

void X11ScreenCaptureBackend::shareableContent(
    bool excludeDesktopWindows, bool onScreenWindowsOnly,
    std::function<void(CaptureResult<ShareableContent>)> done) {
    auto map = displayMap();
    if (!map) {
        done(map.error());
        return;
    }
    ShareableContent content;
    for (const X11Monitor& monitor : map.value().monitors()) {
        content.displays << map.value().display(monitor);
    }
    const QList<CaptureWindow> windows =
        X11WindowList(*m_connection, map.value(), m_resolver).windows();
    for (const CaptureWindow& window : windows) {
        if ((onScreenWindowsOnly && !window.isOnScreen) ||
            (excludeDesktopWindows && window.windowLayer == X11WindowList::kDesktopLayer)) {
            continue;
        }
        content.windows << window;
    }
    done(std::move(content));
}

std::optional<DisplayID> X11ScreenCaptureBackend::displayID(const QScreen& screen) const {
    const auto map = displayMap();
    if (!map) {
        return std::nullopt;
    }
    return X11DisplayMap::displayID(map.value().monitors(), screen);
}

void X11ScreenCaptureBackend::captureImage(const ContentFilter& filter,
                                           const CaptureConfiguration& configuration,
                                           std::function<void(CaptureResult<QImage>)> done) {
    if (!m_formatProblem.isEmpty()) {
        done(error(m_formatProblem));
    } else if (configuration.sizePx.isEmpty()) {
        done(error(QStringLiteral("An image of %1×%2 pixels was asked for.")
                       .arg(configuration.sizePx.width())
                       .arg(configuration.sizePx.height())));
    } else if (filter.kind == ContentFilter::Kind::Display) {
        done(captureDisplay(filter, configuration));
    } else {
        captureWindow(filter, configuration, std::move(done));
    }
}

void X11ScreenCaptureBackend::warmUp() {
    const auto map = displayMap();
    if (!map || !m_formatProblem.isEmpty()) {
        return;
    }
    // Held together, so each display gets a segment of its own.
    QList<QImage> images;
    for (const X11Monitor& monitor : map.value().monitors()) {
        if (auto image =
                grab(m_connection->root(), monitor.rectPx, m_connection->screen()->root_depth)) {
            images << image.value();
        }
    }
}

CaptureResult<QImage>
X11ScreenCaptureBackend::captureDisplay(const ContentFilter& filter,
                                        const CaptureConfiguration& configuration) {
    if (!filter.excludedWindows.isEmpty()) {
        return error(QStringLiteral("Leaving windows out of a display image is not "
                                    "supported on X11."));
    }
    const auto map = displayMap();
    if (!map) {
        return map.error();
    }
    const X11Monitor* monitor = map.value().monitor(filter.displayID);
    if (monitor == nullptr) {
        return error(QStringLiteral("There is no display %1.").arg(filter.displayID));
    }
    auto image = grab(m_connection->root(), monitor->rectPx, m_connection->screen()->root_depth);
    if (!image) {
        return image;
    }
    if (configuration.showsCursor) {
        drawCursor(image.value(), monitor->rectPx.topLeft());
    }
    return fitted(std::move(image.value()), configuration.sizePx, true);
}

CaptureResult<std::shared_ptr<ScreenStream>>
X11ScreenCaptureBackend::createStream(const ContentFilter& filter,
                                      const StreamConfiguration& configuration) {
    if (!m_formatProblem.isEmpty()) {
        return error(m_formatProblem);
    }
    if (filter.kind != ContentFilter::Kind::Display) {
        return error(QStringLiteral("Only displays can be recorded."));
    }
    const auto map = displayMap();
    if (!map) {
        return map.error();
    }
    const X11Monitor* monitor = map.value().monitor(filter.displayID);
    if (monitor == nullptr) {
        return error(QStringLiteral("There is no display %1.").arg(filter.displayID));
    }
    QRect sourcePx = monitor->rectPx;
    if (configuration.sourceRectPt) {
        // Points of the display to its pixels.
        const CaptureDisplay display = map.value().display(*monitor);
        const double ratio =
            display.width() > 0 ? double(monitor->rectPx.width()) / display.width() : 1.0;
        const QRectF regionPx(QPointF(monitor->rectPx.topLeft()) +
                                  configuration.sourceRectPt->topLeft() * ratio,
                              configuration.sourceRectPt->size() * ratio);
        sourcePx = QRect(qRound(regionPx.x()), qRound(regionPx.y()), qRound(regionPx.width()),
                         qRound(regionPx.height()))
                       .intersected(monitor->rectPx);
    }
    if (sourcePx.isEmpty()) {
        return error(
            QStringLiteral("The area to record lies outside display %1.").arg(filter.displayID));
    }
    auto stream = X11ScreenStream::create(sourcePx, configuration, filter.excludedWindows);
    if (!stream) {
        return error(filter.excludedWindows.isEmpty()
                         ? QStringLiteral("The X server cannot stream the screen (it needs the "
                                          "MIT-SHM, DAMAGE and XFIXES extensions).")
                         : QStringLiteral("The X server cannot leave windows out of a recording "
                                          "(it needs the Composite and Render extensions and "
                                          "shared-memory pixmaps)."));
    }
    return std::shared_ptr<ScreenStream>(std::move(stream));
}

void X11ScreenCaptureBackend::captureWindow(const ContentFilter& filter,
                                            const CaptureConfiguration& configuration,
                                            std::function<void(CaptureResult<QImage>)> done) {
    xcb_connection_t* c = m_connection->get();
    if (!m_connection->hasExtension(&xcb_composite_id)) {
        done(error(QStringLiteral("The X server has no Composite extension.")));
        return;
    }
    const auto frame = X11WindowList::frameWindow(*m_connection, filter.windowID);
    if (!frame) {
        done(error(QStringLiteral("Window %1 has closed.").arg(filter.windowID)));
        return;
    }
    if (m_redirected.contains(*frame)) {
        done(readWindow(filter.windowID, configuration));
        return;
    }
    // Kept off screen from now on, so later reads are current at once; the redirection
    // ends with our connection.
    xcb_composite_redirect_window(c, *frame, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    xcb_flush(c);
    m_redirected.insert(*frame);
    QTimer::singleShot(kRedirectSettleMs, &m_pendingReads,
                       [this, client = filter.windowID, configuration, done = std::move(done)] {
                           done(readWindow(client, configuration));
                       });
}

CaptureResult<QImage>
X11ScreenCaptureBackend::readWindow(xcb_window_t client,
                                    const CaptureConfiguration& configuration) {
    xcb_connection_t* c = m_connection->get();
    const QString closed = QStringLiteral("Window %1 has closed.").arg(client);
    const auto frame = X11WindowList::frameWindow(*m_connection, client);
    if (!frame) {
        return error(closed);
    }
    const auto attributes =
        xcbReply(c, xcb_get_window_attributes_reply, xcb_get_window_attributes(c, *frame));
    if (!attributes) {
        return error(closed);
    }
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        return error(QStringLiteral("Window %1 is not on screen.").arg(client));
    }
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_generic_error_t* failure =
        xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, *frame, pixmap));
    if (failure != nullptr) {
        std::free(failure);
        return error(closed);
    }
    const ScopedPixmap pixmapScope(c, pixmap);
    const auto geometry = xcbReply(c, xcb_get_geometry_reply, xcb_get_geometry(c, pixmap));
    const auto origin = xcbReply(c, xcb_translate_coordinates_reply,
                                 xcb_translate_coordinates(c, *frame, m_connection->root(), 0, 0));
    if (!geometry || !origin) {
        return error(closed);
    }
    auto image = grab(pixmap, QRect(0, 0, geometry->width, geometry->height), geometry->depth);
    if (!image) {
        return image;
    }
    if (configuration.showsCursor) {
        // The pixmap includes the frame's border, which starts outside its origin.
        const auto frameGeometry = xcbReply(c, xcb_get_geometry_reply, xcb_get_geometry(c, *frame));
        const int border = frameGeometry ? frameGeometry->border_width : 0;
        drawCursor(image.value(), QPoint(origin->dst_x - border, origin->dst_y - border));
    }
    return fitted(std::move(image.value()), configuration.sizePx, configuration.scalesToFit);
}

CaptureResult<QImage> X11ScreenCaptureBackend::grab(xcb_drawable_t drawable, const QRect& rectPx,
                                                    uint8_t depth) {
    if (depth != 24 && depth != 32) {
        return error(QStringLiteral("Windows of depth %1 cannot be captured.").arg(depth));
    }
    if (depth == 24 && drawable == m_connection->root() && m_rootPicture != 0) {
        if (auto opaque = grabOpaqueShared(rectPx)) {
            return *opaque;
        }
    }
    // Depth 32 carries premultiplied alpha (ARGB visuals); 24 has none.
    const QImage::Format format =
        depth == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    auto image =
        m_pool ? grabShared(drawable, rectPx, format) : grabPlain(drawable, rectPx, format);
    if (!image) {
        return image;
    }
    if (depth == 24) {
        makeOpaque(image.value());
        return image;
    }
    return image.value().convertToFormat(QImage::Format_ARGB32);
}

CaptureResult<QImage> X11ScreenCaptureBackend::grabShared(xcb_drawable_t drawable,
                                                          const QRect& rectPx,
                                                          QImage::Format format) {
    xcb_connection_t* c = m_connection->get();
    const qsizetype bytesPerLine = qsizetype(rectPx.width()) * 4;
    auto segment = m_pool->acquire(size_t(bytesPerLine) * size_t(rectPx.height()));
    if (!segment) {
        return grabPlain(drawable, rectPx, format);
    }
    const auto reply =
        xcbReply(c, xcb_shm_get_image_reply,
                 xcb_shm_get_image(c, drawable, int16_t(rectPx.x()), int16_t(rectPx.y()),
                                   uint16_t(rectPx.width()), uint16_t(rectPx.height()), ~0U,
                                   XCB_IMAGE_FORMAT_Z_PIXMAP, segment->id(), 0));
    if (!reply) {
        ShmSegmentPool::release(*segment);
        return error(QStringLiteral("The X server could not grab %1×%2 pixels at %3,%4.")
                         .arg(rectPx.width())
                         .arg(rectPx.height())
                         .arg(rectPx.x())
                         .arg(rectPx.y()));
    }
    QImage image = ShmSegmentPool::wrap(std::move(segment), rectPx.size(), bytesPerLine, format);
    // Window pixmaps are gone after the grab; only screen grabs get a spare.
    if (drawable == m_connection->root()) {
        m_pool->keepSpare(drawable, rectPx);
    }
    return image;
}

std::optional<QImage> X11ScreenCaptureBackend::grabOpaqueShared(const QRect& rectPx) {
    xcb_connection_t* c = m_connection->get();
    const qsizetype bytesPerLine = qsizetype(rectPx.width()) * 4;
    auto segment = m_pool->acquire(size_t(bytesPerLine) * size_t(rectPx.height()));
    if (!segment) {
        return std::nullopt;
    }
    // A 32-bit pixmap over the segment, and a Render Src composite of the root into it: the
    // server copies and makes every pixel opaque in one pass, in our memory.
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const xcb_render_picture_t target = xcb_generate_id(c);
    xcb_shm_create_pixmap(c, pixmap, m_connection->root(), uint16_t(rectPx.width()),
                          uint16_t(rectPx.height()), 32, segment->id(), 0);
    xcb_render_create_picture(c, target, pixmap, m_argbFormat, 0, nullptr);
    xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, m_rootPicture, XCB_RENDER_PICTURE_NONE, target,
                         int16_t(rectPx.x()), int16_t(rectPx.y()), 0, 0, 0, 0,
                         uint16_t(rectPx.width()), uint16_t(rectPx.height()));
    xcb_render_free_picture(c, target);
    xcb_free_pixmap(c, pixmap);
    // A round trip: every request before it, the composite included, is done.
    xcb_generic_error_t* failure = nullptr;
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), &failure));
    if (failure != nullptr || xcb_connection_has_error(c) != 0) {
        std::free(failure);
        ShmSegmentPool::release(*segment);
        return std::nullopt;
    }
    QImage image =
        ShmSegmentPool::wrap(std::move(segment), rectPx.size(), bytesPerLine, QImage::Format_RGB32);
    m_pool->keepSpare(m_connection->root(), rectPx);
    return image;
}

CaptureResult<QImage> X11ScreenCaptureBackend::grabPlain(xcb_drawable_t drawable,
                                                         const QRect& rectPx,
                                                         QImage::Format format) {
    xcb_connection_t* c = m_connection->get();
    XcbReply<xcb_get_image_reply_t> reply =
        xcbReply(c, xcb_get_image_reply,
                 xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(rectPx.x()),
                               int16_t(rectPx.y()), uint16_t(rectPx.width()),
                               uint16_t(rectPx.height()), ~0U));
    const qsizetype bytesPerLine = qsizetype(rectPx.width()) * 4;
    if (!reply || xcb_get_image_data_length(reply.get()) < bytesPerLine * rectPx.height()) {
        return error(QStringLiteral("The X server could not grab %1×%2 pixels at %3,%4.")
                         .arg(rectPx.width())
                         .arg(rectPx.height())
                         .arg(rectPx.x())
                         .arg(rectPx.y()));
    }
    // The image keeps the reply's memory instead of copying it.
    uchar* data = xcb_get_image_data(reply.get());
    QImage image(
        data, rectPx.width(), rectPx.height(), bytesPerLine, format,
        [](void* info) { std::free(info); }, reply.get());
    if (!image.isNull()) {
        reply.release();
    }
    return image;
}

void X11ScreenCaptureBackend::drawCursor(QImage& image, QPoint originPx) {
    xcb_connection_t* c = m_connection->get();
    if (!m_connection->hasExtension(&xcb_xfixes_id)) {
        return;
    }
    const auto cursor =
        xcbReply(c, xcb_xfixes_get_cursor_image_reply, xcb_xfixes_get_cursor_image(c));
    if (!cursor || cursor->width == 0 || cursor->height == 0) {
        return;
    }
    // Premultiplied ARGB, one 32-bit unit per pixel.
    const QImage sprite =
        QImage(
            reinterpret_cast<const uchar*>(xcb_xfixes_get_cursor_image_cursor_image(cursor.get())),
            cursor->width, cursor->height, cursor->width * 4, QImage::Format_ARGB32_Premultiplied)
            .copy();
    const QPoint topLeft = QPoint(cursor->x - cursor->xhot, cursor->y - cursor->yhot) - originPx;
    QPainter painter(&image);
    painter.drawImage(topLeft, sprite);
}

} // namespace ivra::platform
