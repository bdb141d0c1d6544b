#include "annotation/RenderCache.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QHashFunctions>
#include <QMutexLocker>

namespace ivra {

namespace {

constexpr QImage::Format kPremultiplied = QImage::Format_ARGB32_Premultiplied;
constexpr size_t kMaxFrames = 4;
constexpr size_t kMaxWindows = 8;
// Tiles of this side cost about as much per pixel as a region computed directly; regions
// up to one tile's area are computed directly.
constexpr int kBlurTilePx = 256;

int costKiB(const QImage& image) {
    return static_cast<int>(std::max<qsizetype>(image.sizeInBytes() / 1024, 1));
}

} // namespace

size_t qHash(const RenderCache::Key& key, size_t seed) {
    return qHashMulti(seed, int(key.kind), key.image, key.rect.x(), key.rect.y(), key.rect.width(),
                      key.rect.height(), key.radius);
}

RenderCache::RenderCache(qint64 capacityBytes)
    : m_capacityBytes(std::max<qint64>(capacityBytes, 0))
    , m_entries(static_cast<qsizetype>(m_capacityBytes / 1024)) {
}

RenderCache& RenderCache::shared() {
    static RenderCache cache;
    return cache;
}

QImage RenderCache::lookup(const Key& key) {
    const QMutexLocker lock(&m_mutex);
    const QImage* hit = m_entries.object(key);
    return hit ? *hit : QImage();
}

void RenderCache::insert(const Key& key, const QImage& image) {
    const QMutexLocker lock(&m_mutex);
    m_entries.insert(key, new QImage(image), costKiB(image));
}

QImage RenderCache::blurredRegion(const QImage& base, const QRect& region, double radius) {
    const QRect target = region & base.rect();
    if (target.isEmpty()) {
        return QImage();
    }
    // A region of a crop whose kernel stays inside the crop blurs exactly as the same
    // region of the picture it was cut from: keep it under the picture's pixels.
    std::optional<Window> window;
    {
        const QMutexLocker lock(&m_mutex);
        const auto it = std::find_if(m_windows.begin(), m_windows.end(),
                                     [&](const Window& w) { return w.window == base.cacheKey(); });
        const int reach = blurReach(radius);
        if (it != m_windows.end() &&
            base.rect().contains(target.adjusted(-reach, -reach, reach, reach))) {
            window = *it;
        }
    }
    const Key key = window
                        ? Key{Kind::Blur, window->source, target.translated(window->offset), radius}
                        : Key{Kind::Blur, base.cacheKey(), target, radius};
    if (QImage hit = lookup(key); !hit.isNull()) {
        return hit;
    }
    if (window || qint64(target.width()) * target.height() <= qint64(kBlurTilePx) * kBlurTilePx) {
        // Computed outside the lock: two threads may both compute one region, which only
        // costs time, never correctness.
        QImage blurred = blurImageRegion(base, target, radius);
        if (!blurred.isNull()) {
            insert(key, blurred);
        }
        return blurred;
    }
    // Each tile is exactly its part of the whole image blurred, so copying the tiles'
    // pixels gives exactly the region computed at once.
    QImage assembled(target.size(), QImage::Format_ARGB32_Premultiplied);
    if (assembled.isNull()) {
        return QImage();
    }
    const int firstColumn = target.left() / kBlurTilePx;
    const int lastColumn = target.right() / kBlurTilePx;
    const int firstRow = target.top() / kBlurTilePx;
    const int lastRow = target.bottom() / kBlurTilePx;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const QRect tileRect =
                QRect(column * kBlurTilePx, row * kBlurTilePx, kBlurTilePx, kBlurTilePx) &
                base.rect();
            const QImage tile = blurTile(base, tileRect, radius);
            if (tile.isNull()) {
                return QImage();
            }
            const QRect part = tileRect & target;
            const size_t rowBytes = size_t(part.width()) * 4;
            for (int y = part.top(); y <= part.bottom(); ++y) {
                std::memcpy(assembled.scanLine(y - target.top()) +
                                size_t(part.left() - target.left()) * 4,
                            tile.constScanLine(y - tileRect.top()) +
                                size_t(part.left() - tileRect.left()) * 4,
                            rowBytes);
            }
        }
    }
    return assembled;
}

void RenderCache::noteWindow(const QImage& window, const QImage& source, QPoint offset) {
    const QMutexLocker lock(&m_mutex);
    std::erase_if(m_windows, [&](const Window& w) { return w.window == window.cacheKey(); });
    m_windows.insert(m_windows.begin(), Window{window.cacheKey(), source.cacheKey(), offset});
    if (m_windows.size() > kMaxWindows) {
        m_windows.pop_back();
    }
}

QImage RenderCache::blurTile(const QImage& base, const QRect& tile, double radius) {
    const Key key{Kind::BlurTile, base.cacheKey(), tile, radius};
    if (QImage hit = lookup(key); !hit.isNull()) {
        return hit;
    }
    QImage blurred = blurImageRegion(base, tile, radius);
    if (!blurred.isNull()) {
        insert(key, blurred);
    }
    return blurred;
}

QImage RenderCache::scaledImage(const QImage& base, const QSize& size) {
    const Key key{Kind::Scaled, base.cacheKey(), QRect(QPoint(0, 0), size), 0};
    if (QImage hit = lookup(key); !hit.isNull()) {
        return hit;
    }
    const QImage source = base.hasAlphaChannel() ? base.convertToFormat(kPremultiplied)
                                                 : base.convertToFormat(QImage::Format_RGB32);
    QImage scaled = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!scaled.isNull()) {
        insert(key, scaled);
    }
    return scaled;
}

namespace {

// The same view with fewer marks, all of them the first marks of `key`'s list.
bool isEarlierFrame(const RenderCache::FrameKey& earlier, const RenderCache::FrameKey& key) {
    return earlier.image == key.image && earlier.checkerboard == key.checkerboard &&
           earlier.imageToDevice == key.imageToDevice && earlier.deviceRect == key.deviceRect &&
           earlier.font == key.font && earlier.annotations.size() < key.annotations.size() &&
           std::equal(earlier.annotations.cbegin(), earlier.annotations.cend(),
                      key.annotations.cbegin());
}

} // namespace

QImage RenderCache::frame(const FrameKey& key, const FrameRenderer& render) {
    QImage earlier;
    qsizetype drawn = 0;
    {
        const QMutexLocker lock(&m_mutex);
        const auto hit = std::find_if(m_frames.begin(), m_frames.end(),
                                      [&](const auto& entry) { return entry.first == key; });
        if (hit != m_frames.end()) {
            std::rotate(m_frames.begin(), hit, hit + 1);
            return m_frames.front().second;
        }
        auto best = m_frames.end();
        for (auto it = m_frames.begin(); it != m_frames.end(); ++it) {
            if (isEarlierFrame(it->first, key) && it->first.annotations.size() > drawn) {
                best = it;
                drawn = it->first.annotations.size();
            }
        }
        if (best != m_frames.end()) {
            earlier = best->second;
            std::rotate(m_frames.begin(), best, best + 1);
        }
    }
    QImage rendered = render(earlier, drawn);
    if (!rendered.isNull() && rendered.sizeInBytes() <= m_capacityBytes) {
        const QMutexLocker lock(&m_mutex);
        m_frames.insert(m_frames.begin(), {key, rendered});
        if (m_frames.size() > kMaxFrames) {
            m_frames.pop_back();
        }
    }
    return rendered;
}

void RenderCache::clearFrames() {
    const QMutexLocker lock(&m_mutex);
    m_frames.clear();
}

void RenderCache::clearBlurredRegions() {
    const QMutexLocker lock(&m_mutex);
    m_frames.clear();
    const auto keys = m_entries.keys();
    for (const Key& key : keys) {
        if (key.kind == Kind::Blur || key.kind == Kind::BlurTile) {
            m_entries.remove(key);
        }
    }
}

void RenderCache::clear() {
    const QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_frames.clear();
    m_windows.clear();
}

int blurReach(double radius) {
    // Three standard deviations hold all but 0.3% of the kernel's weight.
    return static_cast<int>(std::ceil(3 * radius));
}

QImage blurImageRegion(const QImage& base, const QRect& region, double radius) {
    const QRect target = region & base.rect();
    if (target.isEmpty() || !(radius > 0)) {
        return QImage();
    }
    const int reach = blurReach(radius);
    const QRect wanted = target.adjusted(-reach, -reach, reach, reach);
    const QRect available = wanted & base.rect();
    // Blurring premultiplied pixels keeps the colour of transparent pixels out of the mix.
    QImage pixels = base.copy(available).convertToFormat(kPremultiplied);
    if (pixels.isNull()) {
        return QImage();
    }
    const cv::Mat availableMat(pixels.height(), pixels.width(), CV_8UC4, pixels.bits(),
                               static_cast<size_t>(pixels.bytesPerLine()));
    // Past the image's edges the edge pixels repeat, so the kernel always has its full
    // reach around the region.
    cv::Mat source;
    cv::copyMakeBorder(availableMat, source, available.top() - wanted.top(),
                       wanted.bottom() - available.bottom(), available.left() - wanted.left(),
                       wanted.right() - available.right(), cv::BORDER_REPLICATE);
    // Blur only the region, as a view inside the larger source: OpenCV reads the region's
    // real neighbours from the source, so the result is exactly that part of the whole
    // image blurred, whatever region was asked for.
    const cv::Mat regionView = source(cv::Rect(reach, reach, target.width(), target.height()));

    QImage blurred(target.size(), kPremultiplied);
    if (blurred.isNull()) {
        return QImage();
    }
    cv::Mat blurredMat(blurred.height(), blurred.width(), CV_8UC4, blurred.bits(),
                       static_cast<size_t>(blurred.bytesPerLine()));
    const int kernelSize = 2 * reach + 1;
    cv::GaussianBlur(regionView, blurredMat, cv::Size(kernelSize, kernelSize), radius, radius,
                     cv::BORDER_REPLICATE);
    if (blurredMat.data != blurred.constBits()) {
        return QImage(); // OpenCV chose its own buffer: not expected for a matching size and type
    }
    return blurred;
}

} // namespace ivra
