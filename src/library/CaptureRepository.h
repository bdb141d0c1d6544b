#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QUuid>

#include <QThreadPool>

#include "library/CaptureRecord.h"
#include "library/CaptureStore.h"

namespace ivra {

class SettingsStore;

// The capture library: writes every capture as a full-size PNG into the user's save
// folder and a small JPEG thumbnail into its own folder, records it, applies the
// retention limit, deletes captures with their files, and posts
// CaptureHistoryNotifier's change notification after every change. Main thread only.
//
// On disk (persistent): <XDG data>/Vantrel/Vantrel.store and <XDG data>/Vantrel/Captures/
// with "<UUID>_thumb.jpg" thumbnails.
class CaptureRepository {
public:
    enum class Storage { Persistent, InMemory };

    static constexpr int kThumbnailMaxDimensionPx = 240;
    static constexpr double kThumbnailJpegQuality = 0.6;
    static constexpr const char* kStoreFileName = "Vantrel.store";
    static constexpr const char* kStatusNone = "none";
    static constexpr qsizetype kFilesRemovedInline = 16;
    // Records pruned per turn of the event loop: a few milliseconds of writing.
    static constexpr int kPruneBatch = 256;

    // Persistent: the store in defaultBaseFolder(), retention from the settings.
    // In memory: a store that ends with the repository, thumbnails in a fresh temporary
    // folder (removed again on destruction), no retention limit.
    explicit CaptureRepository(SettingsStore& settings, Storage storage = Storage::Persistent);
    // A persistent store in the given base folder.
    CaptureRepository(SettingsStore& settings, const QString& baseFolder);
    ~CaptureRepository();
    CaptureRepository(const CaptureRepository&) = delete;
    CaptureRepository& operator=(const CaptureRepository&) = delete;

    static QString defaultBaseFolder();

    QString baseFolder() const { return m_baseFolder; }
    QString capturesDirectory() const { return m_capturesDirectory; }

    // How many unpinned captures to keep; nothing means no limit. A new limit applies from
    // the next insert. The captures beyond it go in batches of kPruneBatch, one per turn of
    // the event loop, with one change posted at the end; their files are removed on a
    // worker when a batch has more than kFilesRemovedInline records.
    std::optional<int> retentionLimit() const { return m_retentionLimit; }
    void setRetentionLimit(std::optional<int> limit) { m_retentionLimit = limit; }

    // When the store file could not be used at start, the message to show the user once
    // (it names where a damaged file was moved); nothing when all went well.
    std::optional<QString> damagedStoreNotice() const { return m_damagedStoreNotice; }

    // Stores one capture; nothing (and no file, no notification) when no save folder was
    // chosen or the image cannot be encoded or written.
    std::optional<CaptureRecord> insert(const QImage& image,
                                        const std::optional<QString>& sourceAppBundleID,
                                        const QDateTime& createdAt);
    // The same, with the encoding and the file writes on a worker thread, so the interface
    // stays responsive while a large capture compresses. `done` runs on the main thread
    // once the capture is recorded (or could not be stored); never after the repository
    // is destroyed. The settings are read at the call.
    void insertInBackground(const QImage& image, const std::optional<QString>& sourceAppBundleID,
                            const QDateTime& createdAt,
                            std::function<void(std::optional<CaptureRecord>)> done);
    // Newest first; an empty list when the store cannot be read.
    QList<CaptureRecord> fetchAll();
    // Removes both files (ignoring files already gone) and the record.
    void deleteRecord(const CaptureRecord& record);
    // Removes every record in one write and posts one change; the files follow (on a
    // worker when there are many of them).
    void deleteAll();
    void setPinned(const CaptureRecord& record, bool pinned);
    // The full image; nothing when its file is missing or unreadable.
    std::optional<QImage> image(const CaptureRecord& record) const;

    // The thumbnail's size: the longer side scaled to maxDimensionPx, the other side in
    // proportion, truncated, never below 1; images already small enough keep their size.
    static QSize thumbnailSize(QSize imageSize, int maxDimensionPx);
    // The image scaled to thumbnailSize(); a null image when scaling fails.
    static QImage makeThumbnail(const QImage& image, int maxDimensionPx);
    // "Ivra yyyy-MM-dd о HH.mm.ss" for the given moment, in local time.
    static QString imageBaseName(const QDateTime& moment);

private:
    struct WrittenFiles {
        QUuid id;
        QString imagePath;
        QString thumbnailPath;
    };

    bool canStore(const QImage& image) const;
    // Encodes the PNG and the thumbnail and writes both; any thread.
    static std::optional<WrittenFiles> writeFiles(const QImage& image, const QString& folder,
                                                  const QString& capturesDirectory);
    // Records written files, applies retention and notifies; main thread.
    CaptureRecord record(const WrittenFiles& files, QSize imageSizePx,
                         const std::optional<QString>& sourceAppBundleID,
                         const QDateTime& createdAt);
    void openPersistentStore();
    // Starts pruning; true while batches remain for later turns of the event loop.
    bool enforceRetention();
    // Removes one batch; false when another one follows.
    bool pruneBatch();
    void removeFiles(const QList<CaptureStore::RecordFiles>& files);

    SettingsStore& m_settings;
    // Background inserts deliver their results only while this lives.
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    std::unique_ptr<CaptureStore> m_store;
    QString m_baseFolder;
    QString m_capturesDirectory;
    bool m_removeBaseFolderOnExit = false;
    // Where a memory-only library (its store could not be opened) keeps its thumbnails;
    // removed with the repository.
    QString m_temporaryCapturesDirectory;
    std::optional<int> m_retentionLimit;
    std::optional<QString> m_damagedStoreNotice;
    bool m_pruning = false;
    // Removes the files of large deletions; waited for on destruction.
    QThreadPool m_fileRemoval;
};

} // namespace ivra
