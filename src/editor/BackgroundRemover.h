#pragma once

#include <optional>

#include <QImage>

namespace ivra {

// Lifts the foreground subject out of an image: the result has the input's pixel size, the
// subject's pixels kept and everything else fully transparent, so marks already placed in
// image pixels stay where they were. Nothing when no subject was found or the work failed.
//
// cutout() is slow (it runs a segmentation model) and blocks: callers run it on a worker
// thread and take the result back to the UI thread. Implementations must be safe to call
// from any thread.
class BackgroundRemover {
public:
    virtual ~BackgroundRemover() = default;
    virtual std::optional<QImage> cutout(const QImage& image) const = 0;
};

// Finds no subject in any image, so the editor tells the user there is nothing to lift:
// for editors where the segmentation network is not wanted.
class UnavailableBackgroundRemover final : public BackgroundRemover {
public:
    std::optional<QImage> cutout(const QImage&) const override { return std::nullopt; }
};

} // namespace ivra
