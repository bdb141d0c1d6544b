#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "LibraryTestSupport.h"
#include "library/CaptureHistoryNotifier.h"
#include "library/CaptureStore.h"
#include "library/HistoryStore.h"

using namespace ivra;

class HistoryStoreTest : public QObject {
    Q_OBJECT
    test::LibraryFolders m_folders;

private Q_SLOTS:
    void followsTheLibraryAndThePinnedFilter() {
        CaptureRepository repository(*m_folders.settings, CaptureRepository::Storage::InMemory);
        const auto older = test::storeCapture(repository, 5);
        HistoryStore history(repository);
        // Construction does not load; the bar's first showing does.
        QVERIFY(history.records().isEmpty());
        history.reload();
        QCOMPARE(history.records(), QList<CaptureRecord>{*older});
        // Views hear "about to change" first, then read the new list once.
        QStringList order;
        connect(&history, &HistoryStore::recordsAboutToChange, this,
                [&] { order << QStringLiteral("before:%1").arg(history.count()); });
        connect(&history, &HistoryStore::recordsChanged, this,
                [&] { order << QStringLiteral("after:%1").arg(history.count()); });
        const auto middle = test::storeCapture(repository, 3);
        const auto newer = test::storeCapture(repository, 1);
        QCOMPARE(history.records(), (QList<CaptureRecord>{*newer, *middle, *older}));
        QCOMPARE(order, QStringList({"before:1", "after:2", "before:2", "after:3"}));

        QSignalSpy filterChanges(&history, &HistoryStore::pinnedOnlyChanged);
        history.setPinnedOnly(true);
        QVERIFY(history.records().isEmpty());
        repository.setPinned(*older, true);
        repository.setPinned(*newer, true);
        QCOMPARE(history.records(), (QList<CaptureRecord>{*newer, *older}));
        QVERIFY(history.records().last().pinned);
        // Unpinning under the filter removes the card at the next reload.
        repository.setPinned(*newer, false);
        QCOMPARE(history.records(), QList<CaptureRecord>{*older});
        history.setPinnedOnly(false);
        QCOMPARE(history.records(), (QList<CaptureRecord>{*newer, *middle, *older}));
        QCOMPARE(filterChanges.count(), 2);
        repository.deleteRecord(*newer);
        QCOMPARE(history.records(), (QList<CaptureRecord>{*middle, *older}));
        repository.deleteAll();
        QCOMPARE(history.count(), 0);
    }

    void settingTheFilterAlwaysRereads() {
        CaptureRepository repository = m_folders.open();
        HistoryStore history(repository);
        test::storeCapture(repository, 1);
        // A record that arrives without a notification shows once the filter is set again,
        // even to the value it had.
        CaptureRecord record = repository.fetchAll().first();
        record.id = QUuid::createUuid();
        QVERIFY(CaptureStore::open(m_folders.storeFile).store->insert(record));
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
