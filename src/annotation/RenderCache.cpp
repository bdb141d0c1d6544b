#include "annotation/RenderCache.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QHashFunctions>
#include <QMutexLocker>

namespace ivra {

namespace {

constexpr QImage::Format kPremultiplied = QImage::Format_ARGB32_Premultiplied;
constexpr size_t kMaxFrames = 4;

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
    const Key key{Kind::Blur, base.cacheKey(), region, radius};
    if (QImage hit = lookup(key); !hit.isNull()) {
        return hit;
    }
    // Computed outside the lock: two threads may both compute one region, which only
    // costs time, never correctness.
    QImage blurred = blurImageRegion(base, region, radius);
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

QImage RenderCache::frame(const FrameKey& key, const std::function<QImage()>& render) {
    {
        const QMutexLocker lock(&m_mutex);
        const auto hit = std::find_if(m_frames.begin(), m_frames.end(),
                                      [&](const auto& entry) { return entry.first == key; });
        if (hit != m_frames.end()) {
            std::rotate(m_frames.begin(), hit, hit + 1);
            return m_frames.front().second;
        }
    }
    QImage rendered = render();
    if (!rendered.isNull() && rendered.sizeInBytes() <= m_capacityBytes) {
        const QMutexLocker lock(&m_mutex);
        m_frames.insert(m_frames.begin(), {key, rendered});
        if (m_frames.size() > kMaxFrames) {
            m_frames.pop_back();
        }
    }
    return rendered;
}

void RenderCache::clearBlurredRegions() {
    const QMutexLocker lock(&m_mutex);
    m_frames.clear();
    const auto keys = m_entries.keys();
    for (const Key& key : keys) {
        if (key.kind == Kind::Blur) {
            m_entries.remove(key);
        }
    }
}

void RenderCache::clear() {
    const QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_frames.clear();
}

QImage blurImageRegion(const QImage& base, const QRect& region, double radius) {
    const QRect target = region & base.rect();
    if (target.isEmpty() || !(radius > 0)) {
        return QImage();
    }
    // Three standard deviations hold all but 0.3% of the kernel's weight.
    const int reach = static_cast<int>(std::ceil(3 * radius));
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
