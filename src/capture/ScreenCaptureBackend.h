#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include <QImage>
#include <QList>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

class QScreen;

namespace ivra {

class ScreenStream;
struct StreamConfiguration;

// The platform's number for a display (a monitor). On X11 the RandR monitor's name atom;
// stable while the X server runs.
using DisplayID = quint32;
using WindowID = quint32;

// One display, in points: the global desktop space with its origin at the top left of the
// primary display.
struct CaptureDisplay {
    DisplayID displayID = 0;
    QRect frame; // points
    QString name;

    int width() const { return frame.width(); }
    int height() const { return frame.height(); }
};

// One top-level window, in the platform's order (on X11: the top of the stacking order
// first).
struct CaptureWindow {
    WindowID windowID = 0;
    QRectF frame;        // points, global, origin at the top left of the primary display
    int windowLayer = 0; // 0 for normal windows
    bool isOnScreen = false;
    // The owning application's desktop-entry id, when one could be found.
    std::optional<QString> applicationID;
    qint64 pid = 0; // 0 when unknown
    QString title;
};

struct ShareableContent {
    QList<CaptureDisplay> displays;
    QList<CaptureWindow> windows;
};

// What an image or a stream shows.
struct ContentFilter {
    enum class Kind { Display, Window };

    Kind kind = Kind::Display;
    DisplayID displayID = 0;
    WindowID windowID = 0;
    // Display filters: windows left out of the picture.
    QList<WindowID> excludedWindows;

    static ContentFilter display(DisplayID id, QList<WindowID> excluded = {}) {
        ContentFilter filter;
        filter.displayID = id;
        filter.excludedWindows = std::move(excluded);
        return filter;
    }
    static ContentFilter window(WindowID id) {
        ContentFilter filter;
        filter.kind = Kind::Window;
        filter.windowID = id;
        return filter;
    }
};

// How an image is produced.
struct CaptureConfiguration {
    QSize sizePx;             // the exact pixel size of the result
    bool showsCursor = false; // the pointer drawn in
    bool scalesToFit = true;  // window filters: scale the window into sizePx
    bool ignoresShadows = false;
};

// The platform's reason when an operation fails.
struct CaptureError {
    QString description;
};

// A value or the platform's error.
template <typename T> class CaptureResult {
public:
    CaptureResult(T value)
        : m_state(std::move(value)) {}
    CaptureResult(CaptureError error)
        : m_state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<T>(m_state); }
    T& value() { return std::get<T>(m_state); }
    const CaptureError& error() const { return std::get<CaptureError>(m_state); }

private:
    std::variant<T, CaptureError> m_state;
};

// The desktop's screen-capture service: displays and windows, still images, access.
// Implementations: X11 (xcb, MIT-SHM) and the XDG desktop portal for Wayland sessions.
//
// Every operation reports through its completion on the calling (main) thread. A backend
// that can answer at once (X11) calls the completion before the call returns; callers
// must not rely on either order.
class ScreenCaptureBackend {
public:
    virtual ~ScreenCaptureBackend() = default;

    // "x11" or "portal".
    virtual QString name() const = 0;

    virtual void shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                                  std::function<void(CaptureResult<ShareableContent>)> done) = 0;

    // One still image of exactly configuration.sizePx, in QImage::Format_ARGB32 (BGRA in
    // memory on little-endian machines) or Format_RGB32.
    virtual void captureImage(const ContentFilter& filter,
                              const CaptureConfiguration& configuration,
                              std::function<void(CaptureResult<QImage>)> done) = 0;

    // The display a Qt screen shows, or nothing when it shows none of them. The one place
    // where the two kinds of identity meet.
    virtual std::optional<DisplayID> displayID(const QScreen& screen) const = 0;

    // Prepares for fast captures once the application has started (X11: maps the
    // shared memory the first grabs would otherwise fault in). Nothing to do by default.
    virtual void warmUp() {}

    // A stream of frames of a display filter, not yet started. Backends without streams
    // refuse.
    virtual CaptureResult<std::shared_ptr<ScreenStream>>
    createStream(const ContentFilter& /*filter*/, const StreamConfiguration& /*configuration*/) {
        return CaptureError{QStringLiteral("This session cannot record the screen.")};
    }

    // Whether capturing is allowed now, without asking (X11: always).
    virtual bool preflightAccess() const = 0;
    // Makes the desktop ask the user for access where it can.
    virtual void requestAccess() = 0;
};

// Which backend serves this session: X11 when the session is X11 (or DISPLAY is set
// without WAYLAND_DISPLAY), the portal on Wayland. IVRA_CAPTURE_BACKEND=x11|portal forces
// one. Nothing when neither can work (no display connection).
std::unique_ptr<ScreenCaptureBackend> createScreenCaptureBackend();

} // namespace ivra
