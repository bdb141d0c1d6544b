#pragma once

#include <functional>
#include <vector>

#include <QCache>
#include <QFont>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QRect>
#include <QSize>
#include <QTransform>

#include "annotation/Annotation.h"

namespace ivra {

// Pixels the renderer derives from a base image and may reuse on the next frame: blurred
// regions, the base image reduced to the view's size, and whole frames of finished marks
// (during a drag only the mark being dragged changes). Entries are keyed by the image's
// QImage::cacheKey(), which changes whenever the pixels do, so a hit is always the value
// that computing afresh would give; caching never changes a pixel of the output. Bounded
// by memory, least recently used first out. Thread-safe, so flattening may run off the
// main thread.
class RenderCache {
public:
    static constexpr qint64 kDefaultCapacityBytes = qint64(256) << 20;

    // A cache without capacity keeps nothing: everything is computed and drawn afresh.
    explicit RenderCache(qint64 capacityBytes = kDefaultCapacityBytes);
    RenderCache(const RenderCache&) = delete;
    RenderCache& operator=(const RenderCache&) = delete;

    // The one cache of the application, shared by every canvas and by flattening, so an
    // export after editing reuses what the screen already computed.
    static RenderCache& shared();

    // `region` of `base` (image pixels, inside the image) after a Gaussian blur of the
    // whole image with standard deviation `radius`. Premultiplied ARGB, region-sized.
    // Large regions are put together from tiles kept across calls, so a blur region being
    // dragged wider only computes the tiles it newly covers.
    QImage blurredRegion(const QImage& base, const QRect& region, double radius);
    // Notes that `window`'s pixels are those of `source` from `offset` on (a crop). Blurred
    // regions of the window whose kernel stays inside it are then kept under the source's
    // pixels, so a crop moved over the same picture reuses them. A few windows are kept.
    void noteWindow(const QImage& window, const QImage& source, QPoint offset);
    // `base` smoothly reduced to exactly `size` pixels.
    QImage scaledImage(const QImage& base, const QSize& size);

    // Everything that decides the pixels of a frame of finished marks on a device.
    struct FrameKey {
        qint64 image = 0;
        QList<Annotation> annotations;
        bool checkerboard = false;
        QTransform imageToDevice;
        QRect deviceRect; // the device pixels the frame covers
        QFont font;       // the application font that labels are set in
        bool operator==(const FrameKey&) const = default;
    };
    // Draws a frame. `earlier` is a kept frame of the same view whose marks are the first
    // `drawn` of the new list, to be drawn on from there; or a null image (and 0) to start
    // afresh. Drawing is sequential, so either way the pixels are the same.
    using FrameRenderer = std::function<QImage(const QImage& earlier, qsizetype drawn)>;
    // The frame for `key`: kept, else continued from a kept frame whose marks are the
    // first ones of the list (a mark was appended), else drawn afresh.
    QImage frame(const FrameKey& key, const FrameRenderer& render);

    void clearFrames();
    // Drops the blurred regions and the frames made with them.
    void clearBlurredRegions();
    void clear();

private:
    enum class Kind { Blur, BlurTile, Scaled };
    struct Key {
        Kind kind;
        qint64 image;
        QRect rect; // the region, or the scaled size at the origin
        double radius;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed);

    QImage blurTile(const QImage& base, const QRect& tile, double radius);
    struct Window {
        qint64 window;
        qint64 source;
        QPoint offset;
    };
    QImage lookup(const Key& key);
    void insert(const Key& key, const QImage& image);

    const qint64 m_capacityBytes;
    QMutex m_mutex;
    QCache<Key, QImage> m_entries; // cost in KiB
    // Most recent first; a few suffice, one per canvas on screen.
    std::vector<std::pair<FrameKey, QImage>> m_frames;
    std::vector<Window> m_windows; // most recent first
};

// Computes what RenderCache::blurredRegion caches: the pixels around the region are
// sampled too (as far as the kernel reaches), so its edges blend into their surroundings;
// beyond the image's own edges the edge pixels are repeated, so a region touching the
// image border does not fade to transparency either.
QImage blurImageRegion(const QImage& base, const QRect& region, double radius);
// How far around a region that blur samples, in pixels.
int blurReach(double radius);

} // namespace ivra
