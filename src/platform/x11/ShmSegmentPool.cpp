#include "platform/x11/ShmSegmentPool.h"

#include <algorithm>
#include <cstdlib>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <QThreadPool>

namespace ivra::platform {

namespace {

// One free segment per monitor of a two-monitor desktop, ready for the next grab.
constexpr std::ptrdiff_t kMaxIdleSegments = 2;
// How many requests a spare's first touch by the server is split into.
constexpr int kWarmUpStrips = 16;

void releaseWrappedSegment(void* info) {
    auto* holder = static_cast<std::shared_ptr<ShmSegmentPool::Segment>*>(info);
    ShmSegmentPool::release(**holder);
    delete holder;
}

} // namespace

ShmSegmentPool::Segment::Segment(xcb_shm_seg_t id, uchar* data, size_t sizeBytes)
    : m_id(id)
    , m_data(data)
    , m_sizeBytes(sizeBytes) {
}

// The server's side is detached by the pool (or goes with the connection); this unmaps
// ours, possibly after the pool is gone when an image outlived it.
ShmSegmentPool::Segment::~Segment() {
    shmdt(m_data);
}

ShmSegmentPool::ShmSegmentPool(xcb_connection_t* connection)
    : m_connection(connection) {
}

ShmSegmentPool::~ShmSegmentPool() {
    // A spare being prepared still uses the connection.
    m_warmers.waitForDone();
    for (const auto& segment : m_segments) {
        xcb_shm_detach(m_connection, segment->id());
    }
    xcb_flush(m_connection);
}

std::shared_ptr<ShmSegmentPool::Segment> ShmSegmentPool::acquire(size_t sizeBytes) {
    std::shared_ptr<Segment> best;
    for (const auto& segment : m_segments) {
        if (segment->sizeBytes() >= sizeBytes && !segment->m_inUse.load() &&
            (!best || segment->sizeBytes() < best->sizeBytes())) {
            best = segment;
        }
    }
    if (!best) {
        best = create(sizeBytes);
        if (!best) {
            return nullptr;
        }
        m_segments.push_back(best);
    }
    best->m_inUse.store(true);
    dropIdleSegmentsBeyondLimit(*best);
    return best;
}

void ShmSegmentPool::keepSpare(xcb_drawable_t drawable, const QRect& rectPx) {
    const size_t sizeBytes = size_t(rectPx.width()) * 4 * size_t(rectPx.height());
    const bool haveFree =
        std::any_of(m_segments.begin(), m_segments.end(), [sizeBytes](const auto& segment) {
            return segment->sizeBytes() >= sizeBytes &&
                   (!segment->m_inUse.load() || segment->m_preparing.load());
        });
    if (haveFree) {
        return;
    }
    auto spare = create(sizeBytes);
    if (!spare) {
        return;
    }
    // Held until its pages exist on both sides; acquire() passes it by meanwhile.
    spare->m_inUse.store(true);
    spare->m_preparing.store(true);
    m_segments.push_back(spare);
    dropIdleSegmentsBeyondLimit(*spare);
    m_warmers.start([connection = m_connection, spare, drawable, rectPx] {
        const long pageBytes = sysconf(_SC_PAGESIZE);
        const size_t step = pageBytes > 0 ? size_t(pageBytes) : 4096;
        for (size_t offset = 0; offset < spare->sizeBytes(); offset += step) {
            spare->data()[offset] = 0;
        }
        // In strips, so the server answers other clients (our own windows among them)
        // between them instead of once after the whole frame.
        const int stripHeight = std::max(1, rectPx.height() / kWarmUpStrips);
        for (int y = 0; y < rectPx.height(); y += stripHeight) {
            const int height = std::min(stripHeight, rectPx.height() - y);
            std::free(xcb_shm_get_image_reply(
                connection,
                xcb_shm_get_image(connection, drawable, int16_t(rectPx.x()),
                                  int16_t(rectPx.y() + y), uint16_t(rectPx.width()),
                                  uint16_t(height), ~0U, XCB_IMAGE_FORMAT_Z_PIXMAP, spare->id(),
                                  uint32_t(y) * uint32_t(rectPx.width()) * 4),
                nullptr));
        }
        spare->m_preparing.store(false);
        spare->m_inUse.store(false);
    });
}

void ShmSegmentPool::release(Segment& segment) {
    segment.m_inUse.store(false);
}

QImage ShmSegmentPool::wrap(std::shared_ptr<Segment> segment, QSize sizePx, qsizetype bytesPerLine,
                            QImage::Format format) {
    uchar* data = segment->data();
    auto* holder = new std::shared_ptr<Segment>(std::move(segment));
    QImage image(data, sizePx.width(), sizePx.height(), bytesPerLine, format, releaseWrappedSegment,
                 holder);
    if (image.isNull()) {
        releaseWrappedSegment(holder);
    }
    return image;
}

std::shared_ptr<ShmSegmentPool::Segment> ShmSegmentPool::create(size_t sizeBytes) {
    const int shmId = shmget(IPC_PRIVATE, sizeBytes, IPC_CREAT | 0600);
    if (shmId < 0) {
        return nullptr;
    }
    void* address = shmat(shmId, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(shmId, IPC_RMID, nullptr);
        return nullptr;
    }
    const xcb_shm_seg_t id = xcb_generate_id(m_connection);
    xcb_generic_error_t* error =
        xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, id, shmId, 0));
    // Marked for removal now that both sides are attached (or the server refused): the
    // kernel frees it when the last side detaches, even if this process dies.
    shmctl(shmId, IPC_RMID, nullptr);
    if (error != nullptr) {
        std::free(error);
        shmdt(address);
        return nullptr;
    }
    return std::shared_ptr<Segment>(new Segment(id, static_cast<uchar*>(address), sizeBytes));
}

void ShmSegmentPool::dropIdleSegmentsBeyondLimit(const Segment& keep) {
    // Segments held by images are the caller's memory; idle ones are ours to bound. The
    // largest idle segment goes first; the one just handed out stays.
    auto idle = [this] {
        return std::count_if(m_segments.begin(), m_segments.end(),
                             [](const auto& segment) { return !segment->m_inUse.load(); });
    };
    while (idle() > kMaxIdleSegments) {
        auto victim = m_segments.end();
        for (auto it = m_segments.begin(); it != m_segments.end(); ++it) {
            if (it->get() == &keep || (*it)->m_inUse.load()) {
                continue;
            }
            if (victim == m_segments.end() || (*it)->sizeBytes() > (*victim)->sizeBytes()) {
                victim = it;
            }
        }
        if (victim == m_segments.end()) {
            return;
        }
        xcb_shm_detach(m_connection, (*victim)->id());
        m_segments.erase(victim);
    }
}

} // namespace ivra::platform
