#include <algorithm>

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "LibraryTestSupport.h"
#include "library/CaptureHistoryNotifier.h"
#include "library/CaptureStore.h"
#include "library/HistoryStore.h"
#include "support/TestSupport.h"

using namespace ivra;

class HistoryStoreTest : public QObject {
    Q_OBJECT
    test::LibraryFolders m_folders;

    // Lets every queued reload run.
    static void settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }

private Q_SLOTS:
    void followsTheLibraryAndThePinnedFilter() {
        CaptureRepository repository(*m_folders.settings, CaptureRepository::Storage::InMemory);
        const auto older = test::storeCapture(repository, 5);
        HistoryStore history(repository);
        // Construction does not load; the bar's first showing does.
        QVERIFY(history.records().isEmpty());
        history.reload();
        QCOMPARE(history.records(), QList<CaptureRecord>{*older});
        // Views hear "about to change" first, then read the new list once: two captures
        // stored in one turn of the event loop cost one read.
        QStringList order;
        connect(&history, &HistoryStore::recordsAboutToChange, this,
                [&] { order << QStringLiteral("before:%1").arg(history.count()); });
        connect(&history, &HistoryStore::recordsChanged, this,
                [&] { order << QStringLiteral("after:%1").arg(history.count()); });
        const auto middle = test::storeCapture(repository, 3);
        const auto newer = test::storeCapture(repository, 1);
        QTRY_COMPARE(history.records(), (QList<CaptureRecord>{*newer, *middle, *older}));
        settle();
        QCOMPARE(order, QStringList({"before:1", "after:3"}));

        QSignalSpy filterChanges(&history, &HistoryStore::pinnedOnlyChanged);
        history.setPinnedOnly(true);
        QVERIFY(history.records().isEmpty());
        repository.setPinned(*older, true);
        repository.setPinned(*newer, true);
        QTRY_COMPARE(history.records(), (QList<CaptureRecord>{*newer, *older}));
        QVERIFY(history.records().last().pinned);
        // Unpinning under the filter removes the card at the next reload.
        repository.setPinned(*newer, false);
        QTRY_COMPARE(history.records(), QList<CaptureRecord>{*older});
        history.setPinnedOnly(false);
        QCOMPARE(history.records(), (QList<CaptureRecord>{*newer, *middle, *older}));
        QCOMPARE(filterChanges.count(), 2);
        repository.deleteRecord(*newer);
        QTRY_COMPARE(history.records(), (QList<CaptureRecord>{*middle, *older}));
        repository.deleteAll();
        QTRY_COMPARE(history.count(), 0);
    }

    // One capture into a large library with a small retention limit: the records beyond
    // the limit go in batches over a few turns of the event loop, the shelf reads the
    // library once, and every file of the pruned captures is gone (large batches are
    // unlinked on a worker).
    void pruningALargeLibraryCostsOneReload() {
        test::LibraryFolders folders;
        std::optional<CaptureRecord> pinned;
        QStringList prunedFiles;
        {
            // Records straight into the store, each with its two files: the library of a
            // long-time user, built in a moment.
            const CaptureRecord model = *test::storeCapture(
                *std::make_unique<CaptureRepository>(*folders.settings, folders.baseFolder));
            auto store = CaptureStore::open(folders.storeFile).store;
            QVERIFY(store->remove(model.id));
            const QByteArray imageBytes = test::readFile(model.imagePath);
            const QByteArray thumbnailBytes = test::readFile(model.thumbnailPath);
            constexpr int kCaptures = CaptureRepository::kPruneBatch + 60;
            for (int i = 0; i < kCaptures; ++i) {
                CaptureRecord record = model;
                record.id = QUuid::createUuid();
                record.createdAt = model.createdAt.addSecs(-60 * (kCaptures + 40 - i));
                record.imagePath = model.imagePath + QString::number(i);
                record.thumbnailPath = model.thumbnailPath + QString::number(i);
                record.pinned = i == 0;
                QVERIFY(test::writeFile(record.imagePath, imageBytes) &&
                        test::writeFile(record.thumbnailPath, thumbnailBytes));
                QVERIFY(store->insert(record));
                if (i == 0) {
                    pinned = record;
                } else if (i < kCaptures - 4) {
                    prunedFiles << record.imagePath << record.thumbnailPath;
                }
            }
        }
        CaptureRepository repository = folders.open();
        repository.setRetentionLimit(5);
        HistoryStore history(repository);
        history.reload();
        QCOMPARE(history.count(), CaptureRepository::kPruneBatch + 60);
        QSignalSpy reloads(&history, &HistoryStore::recordsChanged);
        const auto newest = test::storeCapture(repository, 0);
        QVERIFY(newest);
        QTRY_COMPARE(history.count(), 6);
        settle();
        QCOMPARE(reloads.count(), 1);
        QCOMPARE(history.records().first(), *newest);
        QVERIFY(history.records().contains(*pinned));
        QVERIFY(QFileInfo::exists(pinned->imagePath));
        QTRY_VERIFY(std::none_of(prunedFiles.cbegin(), prunedFiles.cend(),
                                 [](const QString& path) { return QFileInfo::exists(path); }));
        // The store agrees after a fresh open.
        QCOMPARE(CaptureStore::open(folders.storeFile).store->fetchAll()->size(), 6);
    }

    void settingTheFilterAlwaysRereads() {
        CaptureRepository repository = m_folders.open();
        HistoryStore history(repository);
        test::storeCapture(repository, 1);
        QTRY_COMPARE(history.count(), 1);
        // A record that arrives without a notification shows once the filter is set again,
        // even to the value it had.
        CaptureRecord record = repository.fetchAll().first();
        record.id = QUuid::createUuid();
        QVERIFY(CaptureStore::open(m_folders.storeFile).store->insert(record));
        settle();
        QCOMPARE(history.count(), 1);
        QSignalSpy filterChanges(&history, &HistoryStore::pinnedOnlyChanged);
        history.setPinnedOnly(false);
        QCOMPARE(history.count(), 2);
        QCOMPARE(filterChanges.count(), 0);
    }

    void notificationsReachOnlyLiveStoresOnTheirThread() {
        CaptureRepository repository(*m_folders.settings, CaptureRepository::Storage::InMemory);
        auto history = std::make_unique<HistoryStore>(repository);
        test::storeCapture(repository, 1);
        QSignalSpy changes(history.get(), &HistoryStore::recordsChanged);
        std::unique_ptr<QThread> poster(
            QThread::create([] { CaptureHistoryNotifier::instance().post(); }));
        poster->start();
        QVERIFY(poster->wait(5000));
        QCOMPARE(changes.count(), 0);
        QVERIFY(changes.wait(5000));
        QCOMPARE(history->count(), 1);

        history.reset();
        // Would touch freed memory if the store were still connected.
        test::storeCapture(repository);
        CaptureHistoryNotifier::instance().post();
        QCOMPARE(repository.fetchAll().size(), 2);
    }
};

QTEST_GUILESS_MAIN(HistoryStoreTest)
#include "HistoryStoreTest.moc"
