#pragma once

#include <QCache>
#include <QImage>
#include <QMutex>
#include <QRect>
#include <QSize>

namespace ivra {

// Pixels the renderer derives from a base image and may reuse on the next frame: blurred
// regions and the base image reduced to the view's size. Entries are keyed by the image's
// QImage::cacheKey(), which changes whenever the pixels do, so a hit is always the value
// that computing afresh would give; caching never changes a pixel of the output. Bounded
// by memory, least recently used first out. Thread-safe, so flattening may run off the
// main thread.
class RenderCache {
public:
    static constexpr qint64 kDefaultCapacityBytes = qint64(256) << 20;

    explicit RenderCache(qint64 capacityBytes = kDefaultCapacityBytes);
    RenderCache(const RenderCache&) = delete;
    RenderCache& operator=(const RenderCache&) = delete;

    // The one cache of the application, shared by every canvas and by flattening, so an
    // export after editing reuses what the screen already computed.
    static RenderCache& shared();

    // `region` of `base` (image pixels, inside the image) after a Gaussian blur of the
    // whole image with standard deviation `radius`. Premultiplied ARGB, region-sized.
    QImage blurredRegion(const QImage& base, const QRect& region, double radius);
    // `base` smoothly reduced to exactly `size` pixels.
    QImage scaledImage(const QImage& base, const QSize& size);

    void clearBlurredRegions();
    void clear();

private:
    enum class Kind { Blur, Scaled };
    struct Key {
        Kind kind;
        qint64 image;
        QRect rect; // the region, or the scaled size at the origin
        double radius;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed);

    QImage lookup(const Key& key);
    void insert(const Key& key, const QImage& image);

    QMutex m_mutex;
    QCache<Key, QImage> m_entries; // cost in KiB
};

// Computes what RenderCache::blurredRegion caches: the pixels around the region are
// sampled too (as far as the kernel reaches), so its edges blend into their surroundings;
// beyond the image's own edges the edge pixels are repeated, so a region touching the
// image border does not fade to transparency either.
QImage blurImageRegion(const QImage& base, const QRect& region, double radius);

} // namespace ivra
