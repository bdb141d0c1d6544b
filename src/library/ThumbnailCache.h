#pragma once

#include <deque>
#include <set>

#include <QCache>
#include <QDateTime>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

namespace ivra {

// The history cards' pictures: thumbnail files read and cropped to the card's pixels on
// worker threads, kept in a cache bounded by bytes. A file that changed or disappeared
// since it was read is never shown from the cache: every lookup compares the file's size
// and modification time with what was read. Lookups on the main thread.
class ThumbnailCache final : public QObject {
    Q_OBJECT

public:
    // ~200 cards at 1×, ~55 at 2×: a few screens' worth either way.
    static constexpr qsizetype kDefaultMaxBytes = 24 * 1024 * 1024;
    // Reads waiting beyond this many are dropped, oldest first: after a fast scroll only
    // what is on screen now is worth reading.
    static constexpr size_t kMaxWaiting = 48;

    enum class State { Ready, Loading, Unreadable };
    struct Lookup {
        State state = State::Loading;
        QImage image;
    };

    explicit ThumbnailCache(qsizetype maxBytes = kDefaultMaxBytes, QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The file's picture scaled to fill `sizePx` and cropped to it (centred), when it has
    // been read; otherwise a read is queued (once) and `ready` follows.
    Lookup lookup(const QString& path, QSize sizePx);

    // The picture of `path` filling `sizePx`: read, scale so it covers the size, crop the
    // middle. Null when the file cannot be read. Any thread.
    static QImage readFilled(const QString& path, QSize sizePx);

Q_SIGNALS:
    // A read finished (successfully or not); lookups of `path` now answer.
    void ready(const QString& path);

private:
    struct Key {
        QString path;
        QSize size;
        QString text() const;
    };
    struct Entry {
        QImage image; // null: the file could not be read
        qint64 fileSize = -1;
        QDateTime modified;
    };

    void enqueue(const Key& key);
    void runWaiting();
    void store(const Key& key, const QImage& image, qint64 fileSize, const QDateTime& modified);

    QCache<QString, Entry> m_entries;
    QThreadPool m_workers;
    QMutex m_mutex; // guards the two below
    std::deque<Key> m_waiting;
    std::set<QString> m_requested; // waiting or being read
};

} // namespace ivra
