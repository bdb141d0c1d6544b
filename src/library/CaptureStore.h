#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QUuid>

#include "library/CaptureRecord.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ivra {

// The capture records in SQLite: one table named after the entity, its columns named after
// the record's fields, WAL journal, every write in its own transaction. The schema carries
// a version (PRAGMA user_version) and is brought up to date step by step when opened.
class CaptureStore {
public:
    static constexpr int kSchemaVersion = 1;

    enum class OpenFailure {
        None,
        // Not a database, damaged, or an existing file that cannot be read at all: the file
        // is of no use and may be moved aside.
        Damaged,
        // Anything else (no space, a read-only file or folder, a schema this build cannot
        // use): the file may be fine and must be left alone.
        Unavailable,
    };

    struct OpenResult {
        std::unique_ptr<CaptureStore> store;
        OpenFailure failure = OpenFailure::None;
        // SQLite's own words, for the diagnostic line.
        QString reason;
    };

    static OpenResult open(const QString& filePath);
    // A store that lives in memory only; null only when SQLite itself fails.
    static std::unique_ptr<CaptureStore> openInMemory();

    ~CaptureStore();
    CaptureStore(const CaptureStore&) = delete;
    CaptureStore& operator=(const CaptureStore&) = delete;

    // False when the record cannot be saved, for example because its id is already stored.
    bool insert(const CaptureRecord& record);
    // Every record, newest first (a later insert first among equal times); nothing when the
    // read fails.
    std::optional<QList<CaptureRecord>> fetchAll();
    // The files of a removed record, for the caller to delete.
    struct RecordFiles {
        QString imagePath;
        QString thumbnailPath;
    };
    // Removes up to `limit` of the unpinned records after the newest `keep` of them (the
    // oldest first), in one transaction, and returns their files; nothing when the write
    // fails (then nothing was removed).
    std::optional<QList<RecordFiles>> removeUnpinnedBeyond(int keep, int limit);
    // Removes every record in one transaction and returns their files.
    std::optional<QList<RecordFiles>> removeAll();
    bool remove(const QUuid& id);
    bool setPinned(const QUuid& id, bool pinned);

    int schemaVersion();

private:
    struct Handles;
    explicit CaptureStore(std::unique_ptr<Handles> handles);

    static OpenResult prepare(std::unique_ptr<Handles> handles);
    std::optional<QList<CaptureRecord>> readRecords(sqlite3_stmt* statement);
    std::optional<QList<RecordFiles>> removeReturningFiles(sqlite3_stmt* statement);
    bool runWrite(sqlite3_stmt* statement);

    std::unique_ptr<Handles> m_handles;
    // Size of the last full read, to allocate the next one at once.
    qsizetype m_lastCount = 0;
};

} // namespace ivra
