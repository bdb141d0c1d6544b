#include "library/ThumbnailCache.h"

#include <algorithm>

#include <QFileInfo>
#include <QImageReader>
#include <QMutexLocker>

namespace ivra {

namespace {

constexpr int kWorkers = 2;

struct FileStamp {
    qint64 size = -1;
    QDateTime modified;
};

FileStamp stampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) {
        return {};
    }
    return {info.size(), info.lastModified()};
}

} // namespace

QString ThumbnailCache::Key::text() const {
    return QStringLiteral("%1x%2:%3").arg(size.width()).arg(size.height()).arg(path);
}

ThumbnailCache::ThumbnailCache(qsizetype maxBytes, QObject* parent)
    : QObject(parent)
    , m_entries(std::max<qsizetype>(1, maxBytes)) {
    m_workers.setMaxThreadCount(kWorkers);
}

ThumbnailCache::~ThumbnailCache() {
    {
        QMutexLocker lock(&m_mutex);
        m_waiting.clear();
    }
    m_workers.waitForDone();
}

ThumbnailCache::Lookup ThumbnailCache::lookup(const QString& path, QSize sizePx) {
    const Key key{path, sizePx};
    const QString text = key.text();
    if (const Entry* entry = m_entries.object(text)) {
        const FileStamp stamp = stampOf(path);
        if (stamp.size == entry->fileSize && stamp.modified == entry->modified) {
            return entry->image.isNull() ? Lookup{State::Unreadable, {}}
                                         : Lookup{State::Ready, entry->image};
        }
        // Changed or gone since it was read: read it again.
        m_entries.remove(text);
    }
    enqueue(key);
    return {State::Loading, {}};
}

void ThumbnailCache::enqueue(const Key& key) {
    {
        QMutexLocker lock(&m_mutex);
        if (!m_requested.insert(key.text()).second) {
            return;
        }
        m_waiting.push_back(key);
        while (m_waiting.size() > kMaxWaiting) {
            m_requested.erase(m_waiting.front().text());
            m_waiting.pop_front();
        }
    }
    // Each task drains the queue, newest request first; one that finds it empty ends at
    // once. (The pool queues tasks beyond its two threads.)
    m_workers.start([this] { runWaiting(); });
}

void ThumbnailCache::runWaiting() {
    for (;;) {
        Key key;
        {
            QMutexLocker lock(&m_mutex);
            if (m_waiting.empty()) {
                return;
            }
            key = m_waiting.back();
            m_waiting.pop_back();
        }
        // The stamp first: a file replaced while it is read is read again next time.
        const FileStamp stamp = stampOf(key.path);
        QImage image = stamp.size >= 0 ? readFilled(key.path, key.size) : QImage();
        QMetaObject::invokeMethod(
            this,
            [this, key, image = std::move(image), stamp] {
                store(key, image, stamp.size, stamp.modified);
            },
            Qt::QueuedConnection);
    }
}

void ThumbnailCache::store(const Key& key, const QImage& image, qint64 fileSize,
                           const QDateTime& modified) {
    {
        QMutexLocker lock(&m_mutex);
        m_requested.erase(key.text());
    }
    const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes());
    m_entries.insert(key.text(), new Entry{image, fileSize, modified}, cost);
    Q_EMIT ready(key.path);
}

QImage ThumbnailCache::readFilled(const QString& path, QSize sizePx) {
    if (sizePx.isEmpty()) {
        return {};
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    const QImage scaled =
        image.scaled(sizePx, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect middle(
        QPoint((scaled.width() - sizePx.width()) / 2, (scaled.height() - sizePx.height()) / 2),
        sizePx);
    return scaled.copy(middle).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace ivra
