#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "capture/ScreenCaptureBackend.h"
#include "platform/x11/X11ScreenCaptureBackend.h"

namespace ivra::bench {

// The X server's capture backend and the first display it lists.
struct FirstDisplay {
    std::unique_ptr<platform::X11ScreenCaptureBackend> backend;
    CaptureDisplay display;
};

// Opens the X server and finds its first display (the X11 backend answers at once);
// nothing, after saying why on standard error, when there is no server or it lists none.
inline std::optional<FirstDisplay> openFirstDisplay() {
    auto backend = platform::X11ScreenCaptureBackend::create();
    if (!backend) {
        std::fprintf(stderr, "no X server\n");
        return std::nullopt;
    }
    std::optional<CaptureDisplay> display;
    backend->shareableContent(false, true, [&](CaptureResult<ShareableContent> content) {
        if (content && !content.value().displays.isEmpty()) {
            display = content.value().displays.first();
        }
    });
    if (!display) {
        std::fprintf(stderr, "the X server lists no display\n");
        return std::nullopt;
    }
    return FirstDisplay{std::move(backend), *display};
}

} // namespace ivra::bench
