#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QImage>
#include <QRect>
#include <QSize>
#include <QThreadPool>

namespace ivra::platform {

// Shared-memory segments that the X server writes grabs into, kept between captures: a
// fresh segment costs a page fault per 4 KiB on both sides (~70 ms for a 4K frame against
// ~3 ms for a reused one). Images handed out wrap a segment without copying it; the
// segment comes back to the pool when the last copy of such an image is released, and is
// never handed out again before that.
class ShmSegmentPool {
public:
    class Segment {
    public:
        ~Segment();
        Segment(const Segment&) = delete;
        Segment& operator=(const Segment&) = delete;

        xcb_shm_seg_t id() const { return m_id; }
        uchar* data() const { return m_data; }
        size_t sizeBytes() const { return m_sizeBytes; }

    private:
        friend class ShmSegmentPool;
        Segment(xcb_shm_seg_t id, uchar* data, size_t sizeBytes);

        xcb_shm_seg_t m_id;
        uchar* m_data;
        size_t m_sizeBytes;
        // Set while an image (or a grab in progress) holds the segment; cleared from
        // whichever thread releases the last image.
        std::atomic<bool> m_inUse{false};
        // Set while a spare's pages are being touched.
        std::atomic<bool> m_preparing{false};
    };

    explicit ShmSegmentPool(xcb_connection_t* connection);
    ~ShmSegmentPool();

    ShmSegmentPool(const ShmSegmentPool&) = delete;
    ShmSegmentPool& operator=(const ShmSegmentPool&) = delete;

    // A free segment of at least `sizeBytes`, marked in use: the smallest free one that is
    // large enough, else a new one. Nothing when the server cannot attach a new segment.
    std::shared_ptr<Segment> acquire(size_t sizeBytes);
    // Makes sure a free segment will be ready for the next grab of `rectPx` of `drawable`
    // while the last one is still held (a pinned capture keeps its image). A new segment
    // costs a page fault per 4 KiB on both sides, ~90 ms for a 4K frame in the X server
    // alone; a worker thread pays that now with one grab into it, so the next capture does
    // not pay it on the interface thread. Nothing when a free one exists. (xcb connections
    // may be used from any thread.)
    void keepSpare(xcb_drawable_t drawable, const QRect& rectPx);
    // Gives back a segment that did not end up in an image (a failed grab).
    static void release(Segment& segment);

    // An image over the segment's memory that releases the segment when its last copy is
    // gone.
    static QImage wrap(std::shared_ptr<Segment> segment, QSize sizePx, qsizetype bytesPerLine,
                       QImage::Format format);

    // How many segments the pool keeps, free or in use.
    size_t segmentCount() const { return m_segments.size(); }

private:
    std::shared_ptr<Segment> create(size_t sizeBytes);
    void dropIdleSegmentsBeyondLimit(const Segment& keep);

    xcb_connection_t* m_connection;
    // Prepares spare segments; waited for before the pool goes.
    QThreadPool m_warmers;
    std::vector<std::shared_ptr<Segment>> m_segments;
};

} // namespace ivra::platform
