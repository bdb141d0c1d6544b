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
private Q_SLOTS:
    void followsTheLibraryThroughTheNotification();
    void pinnedFilter();
    void settingTheFilterAlwaysRereads();
    void notificationsFromOtherThreadsArriveOnTheStoresThread();
    void destroyedStoreIgnoresNotifications();
};

void HistoryStoreTest::followsTheLibraryThroughTheNotification() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, CaptureRepository::Storage::InMemory);
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
    const auto newer = test::storeCapture(repository);
    QCOMPARE(history.records(), (QList<CaptureRecord>{*newer, *older}));
    QCOMPARE(order, QStringList({"before:1", "after:2"}));

    repository.setPinned(*older, true);
    QVERIFY(history.records().last().pinned);
    repository.deleteRecord(*newer);
    QCOMPARE(history.records(), QList<CaptureRecord>{*older});
    repository.deleteAll();
    QCOMPARE(history.count(), 0);
}

void HistoryStoreTest::pinnedFilter() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, CaptureRepository::Storage::InMemory);
    HistoryStore history(repository);
    const auto a = test::storeCapture(repository, 3);
    const auto b = test::storeCapture(repository, 2);
    const auto c = test::storeCapture(repository, 1);
    QSignalSpy filterChanges(&history, &HistoryStore::pinnedOnlyChanged);

    history.setPinnedOnly(true);
    QVERIFY(history.records().isEmpty());
    QCOMPARE(filterChanges.count(), 1);

    repository.setPinned(*a, true);
    repository.setPinned(*c, true);
    QCOMPARE(history.records(), (QList<CaptureRecord>{*c, *a}));
    // Unpinning under the filter removes the card at the next reload.
    repository.setPinned(*c, false);
    QCOMPARE(history.records(), QList<CaptureRecord>{*a});

    history.setPinnedOnly(false);
    QCOMPARE(history.records(), (QList<CaptureRecord>{*c, *b, *a}));
    QCOMPARE(filterChanges.count(), 2);
}

void HistoryStoreTest::settingTheFilterAlwaysRereads() {
    test::LibraryFolders folders;
    CaptureRepository repository = folders.open();
    HistoryStore history(repository);
    test::storeCapture(repository, 1);
    QCOMPARE(history.count(), 1);

    // A record that arrives without a notification shows once the filter is set again,
    // even to the value it had.
    {
        auto direct = CaptureStore::open(folders.storeFile);
        CaptureRecord record = repository.fetchAll().first();
        record.id = QUuid::createUuid();
        QVERIFY(direct.store && direct.store->insert(record));
    }
    QCOMPARE(history.count(), 1);
    QSignalSpy filterChanges(&history, &HistoryStore::pinnedOnlyChanged);
    history.setPinnedOnly(false);
    QCOMPARE(history.count(), 2);
    QCOMPARE(filterChanges.count(), 0);
}

void HistoryStoreTest::notificationsFromOtherThreadsArriveOnTheStoresThread() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, CaptureRepository::Storage::InMemory);
    HistoryStore history(repository);
    test::storeCapture(repository, 1);
    QSignalSpy changes(&history, &HistoryStore::recordsChanged);
    std::unique_ptr<QThread> poster(
        QThread::create([] { CaptureHistoryNotifier::instance().post(); }));
    poster->start();
    QVERIFY(poster->wait(5000));
    QCOMPARE(changes.count(), 0);
    QVERIFY(changes.wait(5000));
    QCOMPARE(history.count(), 1);
}

void HistoryStoreTest::destroyedStoreIgnoresNotifications() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, CaptureRepository::Storage::InMemory);
    auto history = std::make_unique<HistoryStore>(repository);
    QSignalSpy changes(history.get(), &HistoryStore::recordsChanged);
    test::storeCapture(repository, 1);
    QCOMPARE(changes.count(), 1);
    history.reset();
    // Would touch freed memory if the store were still connected.
    test::storeCapture(repository);
    CaptureHistoryNotifier::instance().post();
    QCOMPARE(repository.fetchAll().size(), 2);
}

QTEST_GUILESS_MAIN(HistoryStoreTest)
#include "HistoryStoreTest.moc"
