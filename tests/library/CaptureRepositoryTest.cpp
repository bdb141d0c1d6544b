#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "LibraryTestSupport.h"
#include "library/CaptureHistoryNotifier.h"
#include "support/TestSupport.h"

using namespace ivra;

static std::unique_ptr<QSignalSpy> spyNotifications() {
    return std::make_unique<QSignalSpy>(&CaptureHistoryNotifier::instance(),
                                        &CaptureHistoryNotifier::captureHistoryDidChange);
}

class CaptureRepositoryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void insertWritesImageThumbnailAndRecord() {
        test::LibraryFolders folders;
        CaptureRepository repository = folders.open();
        auto notifications = spyNotifications();
        const QImage picture = test::makePicture(3024, 1964);
        const QDateTime createdAt = QDateTime::currentDateTime().addSecs(-60);
        const auto record = repository.insert(picture, QString("org.gnome.Nautilus"), createdAt);
        QVERIFY(record);
        QCOMPARE(notifications->count(), 1);
        QCOMPARE(QSize(record->width, record->height), picture.size());
        QCOMPARE(QFileInfo(record->imagePath).absolutePath(), folders.saveFolder);
        QCOMPARE(record->thumbnailPath,
                 QDir(folders.baseFolder).filePath("Captures/" + record->idText() + "_thumb.jpg"));
        // The PNG holds exactly the captured pixels; the thumbnail is a JPEG of the scaled size.
        QCOMPARE(repository.image(*record).value_or(QImage()).convertToFormat(QImage::Format_RGB32),
                 picture);
        QVERIFY(test::readFile(record->thumbnailPath).startsWith("\xFF\xD8"));
        QCOMPARE(QImageReader(record->thumbnailPath).size(), QSize(240, 155));
        // What the next start reads back.
        const auto all = folders.open().fetchAll();
        QCOMPARE(all, QList<CaptureRecord>{*record}); // records compare by id alone
        QCOMPARE(all.first().imagePath, record->imagePath);
        QCOMPARE(all.first().thumbnailPath, record->thumbnailPath);
        QCOMPARE(all.first().createdAt, createdAt);
        QCOMPARE(all.first().sourceAppBundleID, record->sourceAppBundleID);

        // A capture without a source application is stored and listed like any other; one
        // without a valid time takes the present moment.
        const QDateTime before = QDateTime::currentDateTime();
        const auto anonymous = repository.insert(test::makePicture(10, 10), std::nullopt, {});
        QVERIFY(anonymous && anonymous->createdAt >= before.addMSecs(-1));
        QCOMPARE(repository.fetchAll().first().sourceAppBundleID, std::optional<QString>());
    }

    void backgroundInsertRecordsOnTheMainThread() {
        test::LibraryFolders folders;
        const QImage picture = test::makePicture(1200, 700);
        std::optional<CaptureRecord> record;
        int calls = 0;
        {
            CaptureRepository repository = folders.open();
            auto notifications = spyNotifications();
            repository.insertInBackground(picture, QString("org.example.Paint"), {},
                                          [&](std::optional<CaptureRecord> stored) {
                                              QCOMPARE(QThread::currentThread(),
                                                       QCoreApplication::instance()->thread());
                                              record = std::move(stored);
                                              ++calls;
                                          });
            // Answered later, never from inside the call.
            QCOMPARE(calls, 0);
            QTRY_COMPARE(calls, 1);
            QVERIFY(record);
            QCOMPARE(notifications->count(), 1);
            QCOMPARE(repository.fetchAll(), QList<CaptureRecord>{*record});
            QCOMPARE(repository.image(*record)->convertToFormat(QImage::Format_RGB32), picture);
            QVERIFY(QFileInfo(record->thumbnailPath).isFile());

            // Nothing to store: answered with nothing, no file.
            repository.insertInBackground(QImage(), std::nullopt, {},
                                          [&](std::optional<CaptureRecord> stored) {
                                              QVERIFY(!stored);
                                              ++calls;
                                          });
            QTRY_COMPARE(calls, 2);

            // A repository that goes away while the worker writes drops the answer.
            repository.insertInBackground(picture, std::nullopt, {},
                                          [&](std::optional<CaptureRecord>) { ++calls; });
        }
        QTRY_COMPARE(folders.capturesInSaveFolder().size(), 2);
        QTest::qWait(100);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 2);
    }

    void nothingIsStoredWithoutFolderOrEncodableImage() {
        auto notifications = spyNotifications();
        {
            test::LibraryFolders folders(false);
            CaptureRepository repository = folders.open();
            QVERIFY(!test::storeCapture(repository));
            QVERIFY(folders.allInSaveFolder().isEmpty() && repository.fetchAll().isEmpty());
        }
        test::LibraryFolders folders;
        CaptureRepository repository = folders.open();
        QVERIFY(!repository.insert(QImage(), std::nullopt, {}));
        // Far past any screen; its pixels are never touched, so this costs no real memory.
        QImage absurd(20000, 15000, QImage::Format_RGB32);
        QVERIFY(absurd.isNull() || !repository.insert(absurd, std::nullopt, {}));
        // A save folder that has gone away (and cannot be written) stores nothing either.
        QVERIFY(QDir(folders.saveFolder).removeRecursively());
        QVERIFY(!test::storeCapture(repository));
        QCOMPARE(notifications->count(), 0);
        QVERIFY(repository.fetchAll().isEmpty());
        QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
    }

    void thumbnailSizes() {
        // Exact integer truncation: scaling by 240 / side in floating point lands just below
        // 240 for some sides.
        for (int side = 241; side <= 20000; ++side) {
            QVERIFY2(CaptureRepository::thumbnailSize(QSize(side, side / 3), 240) ==
                         QSize(240, static_cast<int>(qint64(side / 3) * 240 / side)),
                     qPrintable(QString::number(side)));
        }
        // Small images keep their size, and no side ever drops to 0.
        QCOMPARE(CaptureRepository::thumbnailSize(QSize(200, 100), 240), QSize(200, 100));
        QCOMPARE(CaptureRepository::thumbnailSize(QSize(10000, 20), 240), QSize(240, 1));
        QCOMPARE(CaptureRepository::thumbnailSize(QSize(20, 10000), 240), QSize(1, 240));
    }

    void imageNameUsesTheTimeOfWritingAndNeverReplaces() {
        test::LibraryFolders folders;
        CaptureRepository repository = folders.open();
        // Files of other captures already carry the names of this and the next seconds.
        const QDateTime start = QDateTime::currentDateTime();
        QStringList taken;
        for (int second = 0; second < 3; ++second) {
            taken << CaptureRepository::imageBaseName(start.addSecs(second)) + ".png";
            QVERIFY(test::writeFile(QDir(folders.saveFolder).filePath(taken.last()), "earlier"));
        }
        const auto record = test::storeCapture(repository, 5);
        QVERIFY(record);
        const QString name = QFileInfo(record->imagePath).fileName();
        static const QRegularExpression pattern(QStringLiteral(
            "^Ivra (\\d{4}-\\d\\d-\\d\\d \u043e \\d\\d\\.\\d\\d\\.\\d\\d) \\(2\\)\\.png$"));
        const auto match = pattern.match(name);
        QVERIFY2(match.hasMatch(), qPrintable(name));
        // The moment of writing, not createdAt (five minutes earlier).
        QVERIFY(taken.contains("Ivra " + match.captured(1) + ".png"));
        for (const QString& other : taken) {
            QCOMPARE(test::readFile(QDir(folders.saveFolder).filePath(other)), "earlier");
        }
        // Captures in quick succession each keep their own file.
        QSet<QString> paths{record->imagePath};
        for (int i = 0; i < 4; ++i) {
            paths.insert(test::storeCapture(repository)->imagePath);
        }
        QCOMPARE(paths.size(), 5);
        QCOMPARE(folders.allInSaveFolder().size(), 8);
    }

    void retentionKeepsPinnedAndNewest() {
        test::LibraryFolders folders;
        folders.settings->setRetentionLimit(2);
        CaptureRepository repository = folders.open();
        const auto a = test::storeCapture(repository, 4, QString("A"));
        repository.setPinned(*a, true);
        const auto b = test::storeCapture(repository, 3, QString("B"));
        const auto c = test::storeCapture(repository, 2, QString("C"));
        QCOMPARE(repository.fetchAll().size(), 3);

        auto notifications = spyNotifications();
        const auto d = test::storeCapture(repository, 1, QString("D"));
        QVERIFY(a && b && c && d);
        // Unpinned newest first: D, C, B; B is beyond the limit of 2, A stays pinned.
        QList<CaptureRecord> expected{*d, *c, *a};
        QCOMPARE(repository.fetchAll(), expected);
        QVERIFY(!QFileInfo::exists(b->imagePath) && !QFileInfo::exists(b->thumbnailPath));
        QVERIFY(QFileInfo::exists(a->imagePath) && QFileInfo::exists(c->thumbnailPath));
        // One notification for adding D and removing B.
        QCOMPARE(notifications->count(), 1);

        // A lower limit waits for the next insert.
        repository.setRetentionLimit(1);
        QCOMPARE(repository.fetchAll().size(), 3);
        const auto e = test::storeCapture(repository, 0, QString("E"));
        expected = {*e, *a};
        QCOMPARE(repository.fetchAll(), expected);
        // The pin and the removals last beyond this run.
        QCOMPARE(folders.open().fetchAll(), expected);
        QVERIFY(folders.open().fetchAll().last().pinned);

        // No limit, and a limit of 0, keep everything.
        for (const std::optional<int>& limit : {std::optional<int>(), std::optional<int>(0)}) {
            repository.setRetentionLimit(limit);
            QVERIFY(test::storeCapture(repository) && test::storeCapture(repository));
        }
        QCOMPARE(repository.fetchAll().size(), 6);
        QCOMPARE(folders.capturesInSaveFolder().size(), 6);
    }

    void deletionRemovesFilesAndRecords() {
        test::LibraryFolders folders;
        CaptureRepository repository = folders.open();
        const auto gone = test::storeCapture(repository, 3);
        const auto kept = test::storeCapture(repository, 2);
        const auto other = test::storeCapture(repository, 1);
        // Files removed by hand: the record stays, its image reads as nothing, and deleting it
        // still works and is announced.
        QVERIFY(QFile::remove(gone->imagePath) && QFile::remove(gone->thumbnailPath));
        QCOMPARE(repository.fetchAll().size(), 3);
        QVERIFY(!repository.image(*gone));
        auto notifications = spyNotifications();
        repository.deleteRecord(*gone);
        QCOMPARE(notifications->count(), 1);
        repository.deleteRecord(*kept);
        QVERIFY(!QFileInfo::exists(kept->imagePath) && !QFileInfo::exists(kept->thumbnailPath));
        QCOMPARE(repository.fetchAll(), QList<CaptureRecord>{*other});

        test::storeCapture(repository);
        notifications->clear();
        repository.deleteAll();
        QCOMPARE(notifications->count(), 1);
        QVERIFY(repository.fetchAll().isEmpty() && folders.allInSaveFolder().isEmpty());
        QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(CaptureRepositoryTest)
#include "CaptureRepositoryTest.moc"
