#include "library/CaptureStore.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

namespace ivra {

namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Each step brings the schema from the previous version to `version`. Later steps only
// add (tables, columns with defaults, indexes), so an older build can still read and
// write a newer library through the columns it knows.
struct Migration {
    int version;
    const char* sql;
};

constexpr Migration kMigrations[] = {
    {1, "CREATE TABLE CaptureRecord ("
        "  id TEXT NOT NULL UNIQUE,"
        "  createdAt INTEGER NOT NULL," // milliseconds since the epoch, UTC
        "  imagePath TEXT NOT NULL,"
        "  thumbnailPath TEXT NOT NULL,"
        "  width INTEGER NOT NULL,"
        "  height INTEGER NOT NULL,"
        "  sourceAppBundleID TEXT,"
        "  statusRaw TEXT NOT NULL,"
        "  pinned INTEGER NOT NULL"
        ");"
        "CREATE INDEX CaptureRecord_createdAt ON CaptureRecord (createdAt);"},
};
static_assert(std::size(kMigrations) == CaptureStore::kSchemaVersion);

constexpr const char* kColumns = "id, createdAt, imagePath, thumbnailPath, width, height, "
                                 "sourceAppBundleID, statusRaw, pinned";
// rowid breaks ties between equal times: the later insert comes first.
constexpr const char* kNewestFirst = " ORDER BY createdAt DESC, rowid DESC";
// Reading the whole table backwards is a plain sequential scan, several times cheaper
// than walking the createdAt index; the rows then come nearly sorted (captures are
// inserted in time order), and a stable sort by time finishes the job.
constexpr const char* kLatestInsertFirst = " ORDER BY rowid DESC";
constexpr const char* kOldestFirst = " ORDER BY createdAt ASC, rowid ASC";
constexpr const char* kReturningFiles = " RETURNING imagePath, thumbnailPath";

// Resets a statement when it goes out of scope, so every use starts clean.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement)
        : m_statement(statement) {}
    ~StatementUse() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* m_statement;
};

QString errorText(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

void bindText(sqlite3_stmt* statement, int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

// Columns that repeat a handful of values (the status, the source application) share one
// string per value instead of one per row: reading a large library is mostly allocation.
class RepeatedText {
public:
    QString column(sqlite3_stmt* statement, int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        const QByteArrayView bytes(text, size);
        for (const auto& [utf8, value] : m_values) {
            if (utf8 == bytes) {
                return value;
            }
        }
        QString value = QString::fromUtf8(bytes);
        if (m_values.size() < kMaxValues) {
            m_values.emplace_back(bytes.toByteArray(), value);
        }
        return value;
    }

private:
    static constexpr size_t kMaxValues = 32;
    std::vector<std::pair<QByteArray, QString>> m_values;
};

Statement prepareStatement(sqlite3* db, const QByteArray& sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v3(db, sql.constData(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                       &raw, nullptr);
    return Statement(raw);
}

// Runs SQL that returns no rows we need; the SQLite result code.
int execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// The first column of the first row of a one-value query, as text.
std::optional<QString> queryText(sqlite3* db, const char* sql, int* code) {
    Statement statement = prepareStatement(db, sql);
    if (!statement) {
        *code = sqlite3_extended_errcode(db);
        return std::nullopt;
    }
    *code = sqlite3_step(statement.get());
    if (*code != SQLITE_ROW) {
        return std::nullopt;
    }
    return columnText(statement.get(), 0);
}

} // namespace

struct CaptureStore::Handles {
    Database db;
    Statement begin;
    Statement commit;
    Statement rollback;
    Statement insert;
    Statement fetchAll;
    Statement removeUnpinnedBeyond;
    Statement removeAll;
    Statement remove;
    Statement setPinned;
};

namespace {

// Commits on request, rolls back otherwise.
class Transaction {
public:
    Transaction(sqlite3_stmt* begin, sqlite3_stmt* commit, sqlite3_stmt* rollback)
        : m_commit(commit)
        , m_rollback(rollback) {
        StatementUse use(begin);
        m_open = sqlite3_step(begin) == SQLITE_DONE;
    }
    ~Transaction() {
        if (m_open) {
            StatementUse use(m_rollback);
            sqlite3_step(m_rollback);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool isOpen() const { return m_open; }
    bool commit() {
        StatementUse use(m_commit);
        if (sqlite3_step(m_commit) != SQLITE_DONE) {
            return false;
        }
        m_open = false;
        return true;
    }

private:
    sqlite3_stmt* m_commit;
    sqlite3_stmt* m_rollback;
    bool m_open = false;
};

} // namespace

CaptureStore::CaptureStore(std::unique_ptr<Handles> handles)
    : m_handles(std::move(handles)) {
}

CaptureStore::~CaptureStore() = default;

CaptureStore::OpenResult CaptureStore::open(const QString& filePath) {
    sqlite3* raw = nullptr;
    const int code = sqlite3_open_v2(QFile::encodeName(filePath).constData(), &raw,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto handles = std::make_unique<Handles>();
    handles->db.reset(raw);
    if (code != SQLITE_OK) {
        OpenResult result;
        result.reason = raw ? errorText(raw) : QString::fromUtf8(sqlite3_errstr(code));
        // A file that exists but cannot even be opened is as lost as a damaged one; a
        // missing file in a folder we cannot write to is not.
        const bool unreadable = (code & 0xff) == SQLITE_CANTOPEN && QFileInfo(filePath).isFile();
        result.failure =
            isDamage(code) || unreadable ? OpenFailure::Damaged : OpenFailure::Unavailable;
        return result;
    }
    return prepare(std::move(handles));
}

std::unique_ptr<CaptureStore> CaptureStore::openInMemory() {
    sqlite3* raw = nullptr;
    const int code =
        sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto handles = std::make_unique<Handles>();
    handles->db.reset(raw);
    if (code != SQLITE_OK) {
        return nullptr;
    }
    return std::move(prepare(std::move(handles)).store);
}

CaptureStore::OpenResult CaptureStore::prepare(std::unique_ptr<Handles> handles) {
    sqlite3* db = handles->db.get();
    OpenResult result;
    auto fail = [&](int code) {
        result.failure = isDamage(code) ? OpenFailure::Damaged : OpenFailure::Unavailable;
        result.reason = errorText(db);
        return std::move(result);
    };
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);

    // The first statement that reads the file tells a foreign or damaged file apart.
    int code = SQLITE_OK;
    const auto journal = queryText(db, "PRAGMA journal_mode=WAL", &code);
    if (!journal) {
        return fail(code);
    }
    // In WAL mode NORMAL never corrupts the store on a crash; only the last commits can be
    // lost on a power cut, and the images themselves are synced before they are recorded.
    if (code = execute(db, "PRAGMA synchronous=NORMAL"); code != SQLITE_OK) {
        return fail(code);
    }
    // Room for a large library's pages (10,000 records are under 3 MB), so reading it
    // again for the history does not go back to the file. The cache only grows as used.
    execute(db, "PRAGMA cache_size=-16384");
    const auto check = queryText(db, "PRAGMA quick_check", &code);
    if (!check) {
        return fail(code);
    }
    if (*check != QLatin1String("ok")) {
        result.failure = OpenFailure::Damaged;
        result.reason = *check;
        return result;
    }

    // Migrate, in one transaction so that a crash leaves the old version intact.
    const auto versionText = queryText(db, "PRAGMA user_version", &code);
    if (!versionText) {
        return fail(code);
    }
    int version = versionText->toInt();
    if (version < kSchemaVersion) {
        if (code = execute(db, "BEGIN IMMEDIATE"); code != SQLITE_OK) {
            return fail(code);
        }
        for (const Migration& migration : kMigrations) {
            if (migration.version <= version) {
                continue;
            }
            code = execute(db, migration.sql);
            if (code == SQLITE_OK) {
                const QByteArray setVersion =
                    "PRAGMA user_version = " + QByteArray::number(migration.version);
                code = execute(db, setVersion.constData());
            }
            if (code != SQLITE_OK) {
                auto failed = fail(code);
                execute(db, "ROLLBACK");
                return failed;
            }
            version = migration.version;
        }
        if (code = execute(db, "COMMIT"); code != SQLITE_OK) {
            auto failed = fail(code);
            execute(db, "ROLLBACK");
            return failed;
        }
    }

    const QByteArray select = QByteArray("SELECT ") + kColumns + " FROM CaptureRecord";
    handles->begin = prepareStatement(db, "BEGIN IMMEDIATE");
    handles->commit = prepareStatement(db, "COMMIT");
    handles->rollback = prepareStatement(db, "ROLLBACK");
    handles->insert = prepareStatement(db, QByteArray("INSERT INTO CaptureRecord (") + kColumns +
                                               ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    handles->fetchAll = prepareStatement(db, select + kLatestInsertFirst);
    // One statement per batch of records.
    handles->removeUnpinnedBeyond = prepareStatement(
        db, QByteArray("DELETE FROM CaptureRecord WHERE rowid IN (SELECT rowid FROM ("
                       "SELECT rowid, createdAt FROM CaptureRecord WHERE pinned = 0") +
                kNewestFirst + " LIMIT -1 OFFSET ?)" + kOldestFirst + " LIMIT ?)" +
                kReturningFiles);
    handles->removeAll =
        prepareStatement(db, QByteArray("DELETE FROM CaptureRecord") + kReturningFiles);
    handles->remove = prepareStatement(db, "DELETE FROM CaptureRecord WHERE id = ?");
    handles->setPinned = prepareStatement(db, "UPDATE CaptureRecord SET pinned = ? WHERE id = ?");
    for (const Statement* statement :
         {&handles->begin, &handles->commit, &handles->rollback, &handles->insert,
          &handles->fetchAll, &handles->removeUnpinnedBeyond, &handles->removeAll, &handles->remove,
          &handles->setPinned}) {
        if (!*statement) {
            return fail(sqlite3_extended_errcode(db));
        }
    }
    result.store.reset(new CaptureStore(std::move(handles)));
    return result;
}

bool CaptureStore::runWrite(sqlite3_stmt* statement) {
    Transaction transaction(m_handles->begin.get(), m_handles->commit.get(),
                            m_handles->rollback.get());
    if (!transaction.isOpen()) {
        return false;
    }
    {
        StatementUse use(statement);
        if (sqlite3_step(statement) != SQLITE_DONE) {
            return false;
        }
    }
    return transaction.commit();
}

bool CaptureStore::insert(const CaptureRecord& record) {
    sqlite3_stmt* statement = m_handles->insert.get();
    bindText(statement, 1, record.idText());
    sqlite3_bind_int64(statement, 2, record.createdAt.toMSecsSinceEpoch());
    bindText(statement, 3, record.imagePath);
    bindText(statement, 4, record.thumbnailPath);
    sqlite3_bind_int64(statement, 5, record.width);
    sqlite3_bind_int64(statement, 6, record.height);
    if (record.sourceAppBundleID) {
        bindText(statement, 7, *record.sourceAppBundleID);
    } else {
        sqlite3_bind_null(statement, 7);
    }
    bindText(statement, 8, record.statusRaw);
    sqlite3_bind_int(statement, 9, record.pinned ? 1 : 0);
    return runWrite(statement);
}

std::optional<QList<CaptureRecord>> CaptureStore::fetchAll() {
    auto records = readRecords(m_handles->fetchAll.get());
    if (!records) {
        return std::nullopt;
    }
    auto newerFirst = [](const CaptureRecord& a, const CaptureRecord& b) {
        return a.createdAt.toMSecsSinceEpoch() > b.createdAt.toMSecsSinceEpoch();
    };
    if (!std::is_sorted(records->cbegin(), records->cend(), newerFirst)) {
        std::stable_sort(records->begin(), records->end(), newerFirst);
    }
    m_lastCount = records->size();
    return records;
}

std::optional<QList<CaptureStore::RecordFiles>> CaptureStore::removeUnpinnedBeyond(int keep,
                                                                                   int limit) {
    sqlite3_stmt* statement = m_handles->removeUnpinnedBeyond.get();
    sqlite3_bind_int(statement, 1, keep);
    sqlite3_bind_int(statement, 2, limit);
    return removeReturningFiles(statement);
}

std::optional<QList<CaptureStore::RecordFiles>> CaptureStore::removeAll() {
    return removeReturningFiles(m_handles->removeAll.get());
}

std::optional<QList<CaptureStore::RecordFiles>>
CaptureStore::removeReturningFiles(sqlite3_stmt* statement) {
    Transaction transaction(m_handles->begin.get(), m_handles->commit.get(),
                            m_handles->rollback.get());
    if (!transaction.isOpen()) {
        return std::nullopt;
    }
    QList<RecordFiles> files;
    {
        StatementUse use(statement);
        int code = SQLITE_ROW;
        while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
            files.append({columnText(statement, 0), columnText(statement, 1)});
        }
        if (code != SQLITE_DONE) {
            return std::nullopt;
        }
    }
    if (!transaction.commit()) {
        return std::nullopt;
    }
    return files;
}

std::optional<QList<CaptureRecord>> CaptureStore::readRecords(sqlite3_stmt* statement) {
    StatementUse use(statement);
    QList<CaptureRecord> records;
    records.reserve(m_lastCount);
    RepeatedText sources;
    RepeatedText statuses;
    int code = SQLITE_ROW;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        CaptureRecord record;
        record.id = QUuid::fromString(
            QLatin1String(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                          sqlite3_column_bytes(statement, 0)));
        // UTC keeps reading cheap: no time-zone lookup per row.
        record.createdAt =
            QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(statement, 1), Qt::UTC);
        record.imagePath = columnText(statement, 2);
        record.thumbnailPath = columnText(statement, 3);
        record.width = sqlite3_column_int64(statement, 4);
        record.height = sqlite3_column_int64(statement, 5);
        if (sqlite3_column_type(statement, 6) != SQLITE_NULL) {
            record.sourceAppBundleID = sources.column(statement, 6);
        }
        record.statusRaw = statuses.column(statement, 7);
        record.pinned = sqlite3_column_int(statement, 8) != 0;
        records.append(std::move(record));
    }
    if (code != SQLITE_DONE) {
        return std::nullopt;
    }
    return records;
}

bool CaptureStore::remove(const QUuid& id) {
    sqlite3_stmt* statement = m_handles->remove.get();
    bindText(statement, 1, id.toString(QUuid::WithoutBraces).toUpper());
    return runWrite(statement);
}

bool CaptureStore::setPinned(const QUuid& id, bool pinned) {
    sqlite3_stmt* statement = m_handles->setPinned.get();
    sqlite3_bind_int(statement, 1, pinned ? 1 : 0);
    bindText(statement, 2, id.toString(QUuid::WithoutBraces).toUpper());
    return runWrite(statement);
}

int CaptureStore::schemaVersion() {
    int code = SQLITE_OK;
    return queryText(m_handles->db.get(), "PRAGMA user_version", &code).value_or(QString()).toInt();
}

} // namespace ivra
