#pragma once

#include <optional>

#include "capture/ScreenCaptureBackend.h"

namespace ivra::bench {

// The first display the backend lists (the X11 backend answers at once); nothing when it
// lists none or cannot be asked.
inline std::optional<CaptureDisplay> firstDisplay(ScreenCaptureBackend& backend) {
    std::optional<CaptureDisplay> display;
    backend.shareableContent(false, true, [&](CaptureResult<ShareableContent> content) {
        if (content && !content.value().displays.isEmpty()) {
            display = content.value().displays.first();
        }
    });
    return display;
}

} // namespace ivra::bench
