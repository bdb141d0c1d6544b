#include <sqlite3.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include "LibraryTestSupport.h"
#include "library/CaptureStore.h"
#include "library/HistoryStore.h"
#include "support/TestSupport.h"

using namespace ivra;

static CaptureRecord makeRecord(qint64 createdAtMs, bool pinned = false) {
    CaptureRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = QDateTime::fromMSecsSinceEpoch(createdAtMs, Qt::UTC);
    record.imagePath = QStringLiteral("/pictures/Ivra 2026-03-14 \u043e 09.05.07.png");
    record.thumbnailPath = "/data/Captures/" + record.idText() + "_thumb.jpg";
    record.width = 3840;
    record.height = 2160;
    record.statusRaw = QStringLiteral("none");
    record.pinned = pinned;
    return record;
}

// Fills a store file with records behind the library's back.
static bool insertDirectly(const QString& path, const QList<CaptureRecord>& records) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto opened = CaptureStore::open(path);
    return opened.store && std::all_of(records.cbegin(), records.cend(),
                                       [&](const auto& r) { return opened.store->insert(r); });
}

class CaptureStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void duplicateIdsAreRefused() {
        auto store = CaptureStore::openInMemory();
        QVERIFY(store);
        CaptureRecord record = makeRecord(1000);
        QVERIFY(store->insert(record));
        record.imagePath = QStringLiteral("/elsewhere.png");
        QVERIFY(!store->insert(record));
        QCOMPARE(store->fetchAll().value_or(QList<CaptureRecord>()).size(), 1);
        QCOMPARE(store->fetchAll()->first().imagePath, makeRecord(0).imagePath);
        // The failed insert left no transaction open: later writes still work.
        QVERIFY(store->insert(makeRecord(2000)));
        QVERIFY(store->setPinned(record.id, true));
        QVERIFY(store->fetchAll()->last().pinned);
    }

    void newerSchemaIsUsedNotDiscarded() {
        test::LibraryFolders folders;
        const CaptureRecord existing = makeRecord(5000);
        QVERIFY(insertDirectly(folders.storeFile, {existing}));
        // What a later version might do: a new column with a default, a higher version.
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(folders.storeFile).constData(), &db), SQLITE_OK);
        const int altered =
            sqlite3_exec(db,
                         "ALTER TABLE CaptureRecord ADD COLUMN note TEXT NOT NULL DEFAULT '';"
                         "PRAGMA user_version = 2;",
                         nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(altered, SQLITE_OK);

        CaptureRepository repository = folders.open();
        QVERIFY(!repository.damagedStoreNotice());
        QCOMPARE(repository.fetchAll(), QList<CaptureRecord>{existing});
        QVERIFY(test::storeCapture(repository));
        QCOMPARE(repository.fetchAll().size(), 2);
        QCOMPARE(CaptureStore::open(folders.storeFile).store->schemaVersion(), 2);
    }

    void damagedStoreIsMovedAside_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("truncated to half") << QStringLiteral("half");
        QTest::newRow("truncated inside the header") << QStringLiteral("header");
        QTest::newRow("random bytes") << QStringLiteral("random");
    }

    void damagedStoreIsMovedAside() {
        QFETCH(QString, damage);
        test::LibraryFolders folders;
        const QString path = folders.storeFile;
        // Enough records to span many pages, so that half a file loses table pages.
        QList<CaptureRecord> records;
        for (int i = 0; i < 400; ++i) {
            records << makeRecord(i * 1000);
        }
        QVERIFY(insertDirectly(path, records));
        QVERIFY(!QFileInfo::exists(path + "-wal"));
        QByteArray bytes = test::readFile(path);
        QVERIFY(bytes.size() > 40000);
        if (damage == "half") {
            bytes.truncate(bytes.size() / 2);
        } else if (damage == "header") {
            bytes.truncate(60);
        } else {
            bytes.resize(64 * 1024);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          bytes.size() / 4);
        }
        QVERIFY(test::writeFile(path, bytes));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("capture library .* cannot be used"));
        CaptureRepository repository = folders.open();
        const auto notice = repository.damagedStoreNotice();
        QVERIFY(notice);
        const QStringList moved =
            QDir(folders.baseFolder).entryList({"Vantrel.store.damaged-*"}, QDir::Files);
        QCOMPARE(moved.size(), 1);
        const QString movedPath = QDir(folders.baseFolder).filePath(moved.first());
        QVERIFY2(notice->contains(movedPath), qPrintable(*notice));
        QCOMPARE(test::readFile(movedPath), bytes);
        // A working, empty library under the old name, and said once: the next start finds a
        // sound store.
        QVERIFY(repository.fetchAll().isEmpty());
        QVERIFY(test::storeCapture(repository));
        CaptureRepository next = folders.open();
        QVERIFY(!next.damagedStoreNotice());
        QCOMPARE(next.fetchAll().size(), 1);
    }

    void unusableFolderFallsBackToMemory() {
        test::LibraryFolders folders;
        // A file where the library's folder should be: nothing can be created inside it.
        QVERIFY(test::writeFile(folders.baseFolder, "not a folder"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("capture library .* cannot be used"));
        CaptureRepository repository = folders.open();
        const auto notice = repository.damagedStoreNotice();
        QVERIFY(notice && notice->contains(folders.storeFile));
        QCOMPARE(test::readFile(folders.baseFolder), QByteArray("not a folder"));
        // Captures still reach the save folder and the history of this run.
        const auto record = test::storeCapture(repository);
        QVERIFY(record);
        QCOMPARE(repository.fetchAll(), QList<CaptureRecord>{*record});
        QCOMPARE(folders.capturesInSaveFolder().size(), 1);
    }

    void memoryOnlyLibraryLeavesNoThumbnailsBehind() {
        test::LibraryFolders folders;
        // A folder where the store file should be: the library folder itself is usable, so
        // thumbnails could land there with no record ever pointing to them again.
        QVERIFY(QDir().mkpath(folders.storeFile));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("capture library .* cannot be used"));
        QString thumbnail;
        {
            CaptureRepository repository = folders.open();
            QVERIFY(repository.damagedStoreNotice());
            const auto record = test::storeCapture(repository);
            QVERIFY(record && QFileInfo(record->thumbnailPath).isFile());
            thumbnail = record->thumbnailPath;
        }
        QVERIFY(!QFileInfo::exists(thumbnail));
        QVERIFY(QDir(folders.baseFolder).entryList({"*.jpg"}, QDir::Files).isEmpty());
        QVERIFY(QDir(QDir(folders.baseFolder).filePath("Captures")).isEmpty());
        // The capture itself is the user's file and stays.
        QCOMPARE(folders.capturesInSaveFolder().size(), 1);
    }

    void largeLibraryLoadsInFullNewestFirst() {
        test::LibraryFolders folders;
        QList<CaptureRecord> inserted;
        QRandomGenerator random(42);
        for (int i = 0; i < 10000; ++i) {
            // Times in random order, with repeats to exercise ties.
            inserted << makeRecord(qint64(random.bounded(5000)) * 1000, i % 7 == 0);
        }
        QVERIFY(insertDirectly(folders.storeFile, inserted));
        // Newest first; among equal times the later insert first.
        QList<CaptureRecord> expected(inserted.crbegin(), inserted.crend());
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.createdAt > b.createdAt; });
        CaptureRepository repository = folders.open();
        QCOMPARE(repository.fetchAll(), expected);
        // The history shows every record, and the pinned ones alone when filtered.
        HistoryStore history(repository);
        history.reload();
        QCOMPARE(history.records(), expected);
        history.setPinnedOnly(true);
        QCOMPARE(history.count(), std::count_if(expected.cbegin(), expected.cend(),
                                                [](const auto& r) { return r.pinned; }));
    }
};

QTEST_GUILESS_MAIN(CaptureStoreTest)
#include "CaptureStoreTest.moc"
