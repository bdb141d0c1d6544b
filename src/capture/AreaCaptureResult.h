#pragma once

#include <QImage>

namespace ivra {

// How an area capture ended: pinned or copied with the flattened image, dismissed (the
// shot was used inside the overlay, e.g. saved or recognised, and needs no more), or
// cancelled before anything was taken.
struct AreaCaptureResult {
    enum class Kind { Pinned, Copied, Dismissed, Cancelled };

    Kind kind = Kind::Cancelled;
    QImage image; // Pinned and Copied only

    static AreaCaptureResult pinned(QImage image) { return {Kind::Pinned, std::move(image)}; }
    static AreaCaptureResult copied(QImage image) { return {Kind::Copied, std::move(image)}; }
    static AreaCaptureResult dismissed() { return {Kind::Dismissed, {}}; }
    static AreaCaptureResult cancelled() { return {Kind::Cancelled, {}}; }
};

} // namespace ivra
