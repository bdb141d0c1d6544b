#include "library/CaptureRepository.h"

#include <algorithm>
#include <future>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUuid>

#include "imageio/AtomicFile.h"
#include "imageio/ImageCodec.h"
#include "library/CaptureHistoryNotifier.h"
#include "library/CaptureStore.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

constexpr const char* kBaseFolderName = "Vantrel";
constexpr const char* kCapturesFolderName = "Captures";
constexpr int kMaxMoveAsideAttempts = 100;
// How much lower than the interface thread background encoding runs: on a two-core
// machine the PNG and thumbnail threads would otherwise crowd out the interface.
constexpr int kEncoderNiceness = 10;

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QByteArray> thumbnailJpeg(const QImage& image) {
    QImage thumbnail =
        CaptureRepository::makeThumbnail(image, CaptureRepository::kThumbnailMaxDimensionPx);
    if (thumbnail.isNull()) {
        thumbnail = image;
    }
    return imageio::encodeJpeg(thumbnail, CaptureRepository::kThumbnailJpegQuality);
}

// Moves a store file that cannot be used out of the way, with its write-ahead log, so a
// new library can start under the old name while the old file stays for recovery.
// Returns where the file went.
std::optional<QString> moveAside(const QString& storePath) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 1; attempt <= kMaxMoveAsideAttempts; ++attempt) {
        QString target = storePath + QStringLiteral(".damaged-") + stamp;
        if (attempt > 1) {
            target += QLatin1Char('-') + QString::number(attempt);
        }
        if (QFileInfo::exists(target)) {
            continue;
        }
        // QDir::rename never replaces an existing file and also moves a directory that
        // sits where the store file should be.
        if (!QDir().rename(storePath, target)) {
            return std::nullopt;
        }
        const QString wal = storePath + QStringLiteral("-wal");
        if (QFileInfo::exists(wal)) {
            QDir().rename(wal, target + QStringLiteral("-wal"));
        }
        // The shared-memory index is rebuilt from the log; a stale one must not meet the
        // new store.
        QFile::remove(storePath + QStringLiteral("-shm"));
        return target;
    }
    return std::nullopt;
}

QString damagedNotice(const QString& movedTo) {
    return QStringLiteral("Ivra could not read its capture library, so it started a new, empty "
                          "one. The damaged file was kept as \u201c%1\u201d. Your screenshots in "
                          "the save folder are untouched.")
        .arg(QDir::toNativeSeparators(movedTo));
}

QString unavailableNotice(const QString& storePath) {
    return QStringLiteral("Ivra could not open its capture library \u201c%1\u201d. New captures "
                          "are still saved to your folder, but the history will forget them when "
                          "Ivra quits.")
        .arg(QDir::toNativeSeparators(storePath));
}

} // namespace

CaptureRepository::CaptureRepository(SettingsStore& settings, Storage storage)
    : m_settings(settings) {
    if (storage == Storage::Persistent) {
        m_baseFolder = defaultBaseFolder();
        m_retentionLimit = settings.retentionLimit();
        openPersistentStore();
        return;
    }
    m_baseFolder = QDir(QDir::tempPath())
                       .filePath(QStringLiteral("VantrelTests-") + uuidText(QUuid::createUuid()));
    m_removeBaseFolderOnExit = true;
    m_capturesDirectory = QDir(m_baseFolder).filePath(QLatin1String(kCapturesFolderName));
    QDir().mkpath(m_capturesDirectory);
    m_store = CaptureStore::openInMemory();
}

CaptureRepository::CaptureRepository(SettingsStore& settings, const QString& baseFolder)
    : m_settings(settings)
    , m_baseFolder(baseFolder)
    , m_retentionLimit(settings.retentionLimit()) {
    openPersistentStore();
}

CaptureRepository::~CaptureRepository() {
    m_fileRemoval.waitForDone();
    if (m_removeBaseFolderOnExit) {
        QDir(m_baseFolder).removeRecursively();
    }
    if (!m_temporaryCapturesDirectory.isEmpty()) {
        QDir(m_temporaryCapturesDirectory).removeRecursively();
    }
}

QString CaptureRepository::defaultBaseFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QLatin1String(kBaseFolderName));
}

void CaptureRepository::openPersistentStore() {
    m_capturesDirectory = QDir(m_baseFolder).filePath(QLatin1String(kCapturesFolderName));
    // A failure shows up later as failed thumbnail writes, which are not fatal.
    QDir().mkpath(m_capturesDirectory);

    const QString storePath = QDir(m_baseFolder).filePath(QLatin1String(kStoreFileName));
    auto opened = CaptureStore::open(storePath);
    if (opened.store) {
        m_store = std::move(opened.store);
        return;
    }
    qWarning("Ivra: the capture library %s cannot be used: %s", qPrintable(storePath),
             qPrintable(opened.reason));
    if (opened.failure == CaptureStore::OpenFailure::Damaged) {
        if (const auto movedTo = moveAside(storePath)) {
            auto fresh = CaptureStore::open(storePath);
            if (fresh.store) {
                m_store = std::move(fresh.store);
                m_damagedStoreNotice = damagedNotice(*movedTo);
                return;
            }
        }
    }
    // The application keeps working; only the history does not outlive this run, and
    // neither do its thumbnails: they go to a temporary folder, not the library's, where
    // no record would ever point to them again.
    m_store = CaptureStore::openInMemory();
    m_damagedStoreNotice = unavailableNotice(storePath);
    m_temporaryCapturesDirectory =
        QDir(QDir::tempPath())
            .filePath(QStringLiteral("VantrelCaptures-") + uuidText(QUuid::createUuid()));
    m_capturesDirectory = m_temporaryCapturesDirectory;
    QDir().mkpath(m_capturesDirectory);
}

bool CaptureRepository::canStore(const QImage& image) const {
    return m_store && m_settings.hasUserSaveDestination() && !image.isNull() &&
           qint64(image.width()) * image.height() <= imageio::kMaxPngPixels;
}

std::optional<CaptureRepository::WrittenFiles>
CaptureRepository::writeFiles(const QImage& image, const QString& folder,
                              const QString& capturesDirectory) {
    // The thumbnail is made on a second thread while the PNG compresses, which takes one.
    std::future<std::optional<QByteArray>> pendingThumbnail;
    try {
        pendingThumbnail = std::async(std::launch::async, thumbnailJpeg, image);
    } catch (const std::system_error&) {
        // No thread to be had: made below, after the PNG.
    }
    const auto png = imageio::encodePng(image);
    const auto jpeg = pendingThumbnail.valid() ? pendingThumbnail.get() : thumbnailJpeg(image);
    if (!png) {
        return std::nullopt;
    }
    // Named at the moment of writing; a second capture within the same second gets
    // " (2)" rather than replacing the first.
    const auto imagePath = imageio::writeNewFile(
        folder, imageBaseName(QDateTime::currentDateTime()), QStringLiteral("png"), *png);
    if (!imagePath) {
        return std::nullopt;
    }

    WrittenFiles files;
    files.id = QUuid::createUuid();
    files.imagePath = *imagePath;
    const QString thumbnailBaseName = uuidText(files.id) + QStringLiteral("_thumb");
    files.thumbnailPath =
        QDir(capturesDirectory).filePath(thumbnailBaseName + QStringLiteral(".jpg"));
    // A thumbnail that cannot be made or written is not worth losing the capture over.
    if (jpeg) {
        if (const auto written = imageio::writeNewFile(capturesDirectory, thumbnailBaseName,
                                                       QStringLiteral("jpg"), *jpeg)) {
            files.thumbnailPath = *written;
        }
    }
    return files;
}

CaptureRecord CaptureRepository::record(const WrittenFiles& files, QSize imageSizePx,
                                        const std::optional<QString>& sourceAppBundleID,
                                        const QDateTime& createdAt) {
    CaptureRecord record;
    record.id = files.id;
    record.thumbnailPath = files.thumbnailPath;
    // An invalid time would sort before every capture ever taken.
    record.createdAt = (createdAt.isValid() ? createdAt : QDateTime::currentDateTime()).toUTC();
    record.imagePath = files.imagePath;
    record.width = imageSizePx.width();
    record.height = imageSizePx.height();
    record.sourceAppBundleID = sourceAppBundleID;
    record.statusRaw = QLatin1String(kStatusNone);
    record.pinned = false;
    if (!m_store->insert(record)) {
        qWarning("Ivra: could not record the capture %s", qPrintable(record.imagePath));
    }
    // While older captures are still being pruned, the change is posted once they are gone.
    if (!enforceRetention()) {
        CaptureHistoryNotifier::instance().post();
    }
    return record;
}

std::optional<CaptureRecord>
CaptureRepository::insert(const QImage& image, const std::optional<QString>& sourceAppBundleID,
                          const QDateTime& createdAt) {
    if (!canStore(image)) {
        return std::nullopt;
    }
    const auto files =
        writeFiles(image, m_settings.resolveSaveFolderForWriting(), m_capturesDirectory);
    if (!files) {
        return std::nullopt;
    }
    return record(*files, image.size(), sourceAppBundleID, createdAt);
}

void CaptureRepository::insertInBackground(const QImage& image,
                                           const std::optional<QString>& sourceAppBundleID,
                                           const QDateTime& createdAt,
                                           std::function<void(std::optional<CaptureRecord>)> done) {
    if (!canStore(image)) {
        done(std::nullopt);
        return;
    }
    // Settings are read here, on the main thread; the worker only encodes and writes.
    const QString folder = m_settings.resolveSaveFolderForWriting();
    std::weak_ptr<const bool> alive = m_alive;
    QThreadPool::globalInstance()->start([this, alive, image, folder, sourceAppBundleID, createdAt,
                                          capturesDirectory = m_capturesDirectory,
                                          done = std::move(done)]() mutable {
        // Encoding must not take the interface's core away from it: a lower priority for
        // this thread (and the thumbnail thread it starts) while it works.
        const int niceness = getpriority(PRIO_PROCESS, gettid());
        setpriority(PRIO_PROCESS, gettid(), niceness + kEncoderNiceness);
        auto files = writeFiles(image, folder, capturesDirectory);
        setpriority(PRIO_PROCESS, gettid(), niceness);
        // Back on the main thread; dropped when the repository is gone by then.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, files = std::move(files), size = image.size(), sourceAppBundleID,
             createdAt, done = std::move(done)] {
                if (alive.expired()) {
                    return;
                }
                done(files ? std::optional(record(*files, size, sourceAppBundleID, createdAt))
                           : std::nullopt);
            },
            Qt::QueuedConnection);
    });
}

QList<CaptureRecord> CaptureRepository::fetchAll() {
    if (!m_store) {
        return {};
    }
    return m_store->fetchAll().value_or(QList<CaptureRecord>());
}

void CaptureRepository::deleteRecord(const CaptureRecord& record) {
    QFile::remove(record.imagePath);
    QFile::remove(record.thumbnailPath);
    if (m_store) {
        m_store->remove(record.id);
    }
    CaptureHistoryNotifier::instance().post();
}

void CaptureRepository::deleteAll() {
    if (!m_store) {
        return;
    }
    if (const auto files = m_store->removeAll()) {
        removeFiles(*files);
        CaptureHistoryNotifier::instance().post();
    }
}

void CaptureRepository::setPinned(const CaptureRecord& record, bool pinned) {
    if (m_store) {
        m_store->setPinned(record.id, pinned);
    }
    CaptureHistoryNotifier::instance().post();
}

std::optional<QImage> CaptureRepository::image(const CaptureRecord& record) const {
    QImageReader reader(record.imagePath);
    QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

bool CaptureRepository::enforceRetention() {
    if (m_pruning) {
        // The batches under way take this capture into account too.
        return true;
    }
    if (!m_retentionLimit || *m_retentionLimit < 1) {
        return false;
    }
    m_pruning = true;
    return !pruneBatch();
}

bool CaptureRepository::pruneBatch() {
    // Pinned captures neither count against the limit nor are removed. However many
    // records go (a lowered limit over a large library), each turn of the event loop
    // removes one batch in one short write, so the interface never waits on thousands of
    // deletions at once; one change is posted when the last batch is done.
    const int limit = m_retentionLimit.value_or(0);
    const auto removed =
        limit > 0 ? m_store->removeUnpinnedBeyond(limit, kPruneBatch) : std::nullopt;
    if (removed && !removed->isEmpty()) {
        removeFiles(*removed);
    }
    if (removed && removed->size() == kPruneBatch) {
        std::weak_ptr<const bool> alive = m_alive;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive] {
                if (!alive.expired() && pruneBatch()) {
                    CaptureHistoryNotifier::instance().post();
                }
            },
            Qt::QueuedConnection);
        return false;
    }
    m_pruning = false;
    return true;
}

void CaptureRepository::removeFiles(const QList<CaptureStore::RecordFiles>& files) {
    auto remove = [files] {
        for (const CaptureStore::RecordFiles& record : files) {
            QFile::remove(record.imagePath);
            QFile::remove(record.thumbnailPath);
        }
    };
    // A few files go at once; thousands of them (tens of milliseconds of unlinking) go on
    // a worker, so that the interface does not stall.
    if (files.size() <= kFilesRemovedInline) {
        remove();
        return;
    }
    m_fileRemoval.start(remove);
}

QSize CaptureRepository::thumbnailSize(QSize imageSize, int maxDimensionPx) {
    const qint64 width = imageSize.width();
    const qint64 height = imageSize.height();
    const qint64 longer = std::max(width, height);
    if (longer <= maxDimensionPx) {
        return imageSize;
    }
    // Integer arithmetic: the scale maxDimensionPx / longer in floating point can land
    // just below a whole number and lose a pixel (239 instead of 240).
    auto scaled = [&](qint64 side) {
        return static_cast<int>(std::max<qint64>(1, side * maxDimensionPx / longer));
    };
    return QSize(scaled(width), scaled(height));
}

QImage CaptureRepository::makeThumbnail(const QImage& image, int maxDimensionPx) {
    const QSize size = thumbnailSize(image.size(), maxDimensionPx);
    if (size == image.size()) {
        return image;
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString CaptureRepository::imageBaseName(const QDateTime& moment) {
    return QStringLiteral("Ivra ") +
           moment.toLocalTime().toString(QStringLiteral("yyyy-MM-dd '\u043e' HH.mm.ss"));
}

} // namespace ivra
