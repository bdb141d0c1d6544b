#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "LibraryTestSupport.h"
#include "library/CaptureHistoryNotifier.h"
#include "library/CaptureRepository.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

QSize imageFileSize(const QString& path) {
    return QImageReader(path).size();
}

std::unique_ptr<QSignalSpy> spyNotifications() {
    return std::make_unique<QSignalSpy>(&CaptureHistoryNotifier::instance(),
                                        &CaptureHistoryNotifier::captureHistoryDidChange);
}

QDateTime minutesAgo(int minutes) {
    return QDateTime::currentDateTime().addSecs(-60 * minutes);
}

} // namespace

class CaptureRepositoryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void insertWritesImageThumbnailAndRecord();
    void nothingIsStoredWithoutFolderOrEncodableImage();
    void thumbnailSizes_data();
    void thumbnailSizes();
    void thumbnailLongerSideIsExactlyTheMaximum();
    void imageNameUsesTheTimeOfWritingAndNeverReplaces();
    void retentionKeepsPinnedAndNewest();
    void retentionWithoutLimit();
    void deletionRemovesFilesAndRecords();
    void recordsSurviveReopeningNewestFirst();
    void retentionLimitComesFromSettings();
    void inMemoryLibraryCleansUp();
};

void CaptureRepositoryTest::insertWritesImageThumbnailAndRecord() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    auto notifications = spyNotifications();
    const QImage picture = test::makePicture(3024, 1964);
    const QDateTime createdAt = minutesAgo(1);

    const auto record = repository.insert(picture, QStringLiteral("org.gnome.Nautilus"), createdAt);

    QVERIFY(record);
    QCOMPARE(notifications->count(), 1);
    QCOMPARE(record->width, 3024);
    QCOMPARE(record->height, 1964);
    QCOMPARE(record->createdAt, createdAt);
    QCOMPARE(record->statusRaw, QStringLiteral("none"));
    QVERIFY(!record->pinned);
    QCOMPARE(record->sourceAppBundleID, QStringLiteral("org.gnome.Nautilus"));
    QCOMPARE(QFileInfo(record->imagePath).absolutePath(), folders.saveFolder);
    QCOMPARE(QFileInfo(record->thumbnailPath).fileName(), record->idText() + "_thumb.jpg");
    QCOMPARE(QFileInfo(record->thumbnailPath).absolutePath(),
             QDir(folders.baseFolder).filePath("Captures"));
    QVERIFY(QFileInfo::exists(QDir(folders.baseFolder).filePath("Vantrel.store")));

    // The PNG holds exactly the captured pixels; the thumbnail is a JPEG of the scaled size.
    const auto stored = repository.image(*record);
    QVERIFY(stored);
    QCOMPARE(stored->convertToFormat(QImage::Format_RGB32), picture);
    QVERIFY(test::readFile(record->thumbnailPath).startsWith("\xFF\xD8"));
    QCOMPARE(imageFileSize(record->thumbnailPath), QSize(240, 155));

    const auto all = repository.fetchAll();
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.first().imagePath, record->imagePath);
    QCOMPARE(all.first().thumbnailPath, record->thumbnailPath);
    QCOMPARE(all.first().createdAt, createdAt);
    QCOMPARE(all.first().sourceAppBundleID, record->sourceAppBundleID);

    // A capture without a source application is stored and listed like any other; one
    // without a valid time takes the present moment.
    const QDateTime before = QDateTime::currentDateTime();
    const auto anonymous = repository.insert(test::makePicture(10, 10), std::nullopt, QDateTime());
    QVERIFY(anonymous);
    QVERIFY(anonymous->createdAt >= before.addMSecs(-1));
    QCOMPARE(repository.fetchAll().size(), 2);
    QCOMPARE(repository.fetchAll().first().sourceAppBundleID, std::optional<QString>());
}

void CaptureRepositoryTest::nothingIsStoredWithoutFolderOrEncodableImage() {
    {
        test::LibraryFolders folders(false);
        CaptureRepository repository(*folders.settings, folders.baseFolder);
        auto notifications = spyNotifications();
        QVERIFY(!repository.insert(test::makePicture(64, 64), std::nullopt, minutesAgo(0)));
        QCOMPARE(notifications->count(), 0);
        QVERIFY(folders.allInSaveFolder().isEmpty());
        QVERIFY(repository.fetchAll().isEmpty());
    }
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    auto notifications = spyNotifications();
    QVERIFY(!repository.insert(QImage(), std::nullopt, minutesAgo(0)));
    // Far past any screen; its pixels are never touched, so this costs no real memory.
    QImage absurd(20000, 15000, QImage::Format_RGB32);
    if (!absurd.isNull()) {
        QVERIFY(!repository.insert(absurd, std::nullopt, minutesAgo(0)));
    }
    // A save folder that has gone away (and cannot be written) stores nothing either.
    QVERIFY(QDir(folders.saveFolder).removeRecursively());
    QVERIFY(!repository.insert(test::makePicture(64, 64), std::nullopt, minutesAgo(0)));
    QCOMPARE(notifications->count(), 0);
    QVERIFY(repository.fetchAll().isEmpty());
    QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
}

void CaptureRepositoryTest::thumbnailSizes_data() {
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("wide") << QSize(4000, 1000) << QSize(240, 60);
    QTest::newRow("small enough") << QSize(200, 100) << QSize(200, 100);
    QTest::newRow("exactly 240") << QSize(240, 17) << QSize(240, 17);
    QTest::newRow("strip never 0") << QSize(10000, 20) << QSize(240, 1);
    QTest::newRow("tall strip") << QSize(20, 10000) << QSize(1, 240);
    QTest::newRow("truncated") << QSize(3024, 1964) << QSize(240, 155);
}

void CaptureRepositoryTest::thumbnailSizes() {
    QFETCH(QSize, image);
    QFETCH(QSize, thumbnail);
    QCOMPARE(CaptureRepository::thumbnailSize(image, 240), thumbnail);
    if (image.width() * image.height() <= 4000 * 1000) {
        QCOMPARE(
            CaptureRepository::makeThumbnail(test::makePicture(image.width(), image.height()), 240)
                .size(),
            thumbnail);
    }
}

void CaptureRepositoryTest::thumbnailLongerSideIsExactlyTheMaximum() {
    // Scaling by 240 / side in floating point lands just below 240 for some sides.
    for (int side = 241; side <= 20000; ++side) {
        const QSize wide = CaptureRepository::thumbnailSize(QSize(side, side / 3), 240);
        const double exactHeight = (side / 3) * 240.0 / side;
        if (wide.width() != 240 || wide.height() > exactHeight ||
            wide.height() + 1 <= exactHeight) {
            QFAIL(qPrintable(QStringLiteral("side %1 gave %2x%3")
                                 .arg(side)
                                 .arg(wide.width())
                                 .arg(wide.height())));
        }
    }
}

void CaptureRepositoryTest::imageNameUsesTheTimeOfWritingAndNeverReplaces() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    // Files of other captures already carry the names of this and the next seconds.
    const QDateTime start = QDateTime::currentDateTime();
    QStringList taken;
    for (int second = 0; second < 3; ++second) {
        const QString name = CaptureRepository::imageBaseName(start.addSecs(second)) + ".png";
        QVERIFY(test::writeFile(QDir(folders.saveFolder).filePath(name), "earlier capture"));
        taken << name;
    }

    const auto record = repository.insert(test::makePicture(32, 32), std::nullopt, minutesAgo(5));
    QVERIFY(record);
    const QString name = QFileInfo(record->imagePath).fileName();
    static const QRegularExpression pattern(QStringLiteral(
        "^Ivra (\\d{4}-\\d\\d-\\d\\d \u043e \\d\\d\\.\\d\\d\\.\\d\\d) \\(2\\)\\.png$"));
    const auto match = pattern.match(name);
    QVERIFY2(match.hasMatch(), qPrintable(name));
    // The moment of writing, not createdAt (five minutes earlier).
    QVERIFY(taken.contains("Ivra " + match.captured(1) + ".png"));
    for (const QString& other : taken) {
        QCOMPARE(test::readFile(QDir(folders.saveFolder).filePath(other)),
                 QByteArray("earlier capture"));
    }

    // Captures in quick succession each keep their own file.
    QSet<QString> paths{record->imagePath};
    for (int i = 0; i < 4; ++i) {
        paths.insert(
            repository.insert(test::makePicture(32, 32), std::nullopt, minutesAgo(0))->imagePath);
    }
    QCOMPARE(paths.size(), 5);
    QCOMPARE(folders.allInSaveFolder().size(), 8);
}

void CaptureRepositoryTest::retentionKeepsPinnedAndNewest() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    repository.setRetentionLimit(2);
    const auto a = repository.insert(test::makePicture(20, 20), QStringLiteral("A"), minutesAgo(4));
    repository.setPinned(*a, true);
    const auto b = repository.insert(test::makePicture(20, 20), QStringLiteral("B"), minutesAgo(3));
    const auto c = repository.insert(test::makePicture(20, 20), QStringLiteral("C"), minutesAgo(2));
    QCOMPARE(repository.fetchAll().size(), 3);

    auto notifications = spyNotifications();
    const auto d = repository.insert(test::makePicture(20, 20), QStringLiteral("D"), minutesAgo(1));
    QVERIFY(a && b && c && d);

    // Unpinned newest first: D, C, B; B is beyond the limit of 2, A stays pinned.
    QList<CaptureRecord> expected{*d, *c, *a};
    QCOMPARE(repository.fetchAll(), expected);
    QVERIFY(repository.fetchAll().last().pinned);
    QVERIFY(!QFileInfo::exists(b->imagePath));
    QVERIFY(!QFileInfo::exists(b->thumbnailPath));
    QVERIFY(QFileInfo::exists(a->imagePath) && QFileInfo::exists(c->thumbnailPath));
    // One notification for removing B, one for adding D.
    QCOMPARE(notifications->count(), 2);

    // A lower limit waits for the next insert.
    repository.setRetentionLimit(1);
    QCOMPARE(repository.fetchAll().size(), 3);
    const auto e = repository.insert(test::makePicture(20, 20), QStringLiteral("E"), minutesAgo(0));
    expected = {*e, *a};
    QCOMPARE(repository.fetchAll(), expected);
}

void CaptureRepositoryTest::retentionWithoutLimit() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    for (const std::optional<int>& limit : {std::optional<int>(), std::optional<int>(0)}) {
        repository.setRetentionLimit(limit);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(repository.insert(test::makePicture(8, 8), std::nullopt, minutesAgo(0)));
        }
    }
    QCOMPARE(repository.fetchAll().size(), 6);
    QCOMPARE(folders.capturesInSaveFolder().size(), 6);
}

void CaptureRepositoryTest::deletionRemovesFilesAndRecords() {
    test::LibraryFolders folders;
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    const auto gone = repository.insert(test::makePicture(16, 16), std::nullopt, minutesAgo(3));
    const auto kept = repository.insert(test::makePicture(16, 16), std::nullopt, minutesAgo(2));
    const auto other = repository.insert(test::makePicture(16, 16), std::nullopt, minutesAgo(1));

    // Files removed by hand: the record stays, its image reads as nothing, and deleting it
    // still works and is announced.
    QVERIFY(QFile::remove(gone->imagePath) && QFile::remove(gone->thumbnailPath));
    QCOMPARE(repository.fetchAll().size(), 3);
    QVERIFY(!repository.image(*gone));
    auto notifications = spyNotifications();
    repository.deleteRecord(*gone);
    QCOMPARE(notifications->count(), 1);
    QCOMPARE(repository.fetchAll().size(), 2);

    repository.deleteRecord(*kept);
    QVERIFY(!QFileInfo::exists(kept->imagePath) && !QFileInfo::exists(kept->thumbnailPath));
    QCOMPARE(repository.fetchAll(), QList<CaptureRecord>{*other});

    repository.insert(test::makePicture(16, 16), std::nullopt, minutesAgo(0));
    notifications->clear();
    repository.deleteAll();
    QCOMPARE(notifications->count(), 2);
    QVERIFY(repository.fetchAll().isEmpty());
    QVERIFY(folders.allInSaveFolder().isEmpty());
    QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
}

void CaptureRepositoryTest::recordsSurviveReopeningNewestFirst() {
    test::LibraryFolders folders;
    QList<CaptureRecord> inserted;
    {
        CaptureRepository repository(*folders.settings, folders.baseFolder);
        // Inserted out of time order; the library sorts by createdAt, newest first.
        for (int minutes : {5, 1, 9, 3}) {
            inserted << *repository.insert(test::makePicture(8, 8), std::nullopt,
                                           minutesAgo(minutes));
        }
        auto notifications = spyNotifications();
        repository.setPinned(inserted[2], true);
        QCOMPARE(notifications->count(), 1);
    }
    CaptureRepository reopened(*folders.settings, folders.baseFolder);
    QVERIFY(!reopened.damagedStoreNotice());
    const auto all = reopened.fetchAll();
    QCOMPARE(all, (QList<CaptureRecord>{inserted[1], inserted[3], inserted[0], inserted[2]}));
    QVERIFY(all.last().pinned);
    QCOMPARE(all.last().createdAt, inserted[2].createdAt);
    QCOMPARE(all.last().imagePath, inserted[2].imagePath);
}

void CaptureRepositoryTest::retentionLimitComesFromSettings() {
    test::LibraryFolders folders;
    QCOMPARE(CaptureRepository(*folders.settings, folders.baseFolder).retentionLimit(), 100);
    folders.settings->setRetentionLimit(300);
    QCOMPARE(CaptureRepository(*folders.settings, folders.baseFolder).retentionLimit(), 300);
    folders.settings->setRetentionLimit(std::nullopt);
    QCOMPARE(CaptureRepository(*folders.settings, folders.baseFolder).retentionLimit(),
             std::nullopt);
}

void CaptureRepositoryTest::inMemoryLibraryCleansUp() {
    test::LibraryFolders folders;
    folders.settings->setRetentionLimit(50);
    QString base;
    {
        CaptureRepository repository(*folders.settings, CaptureRepository::Storage::InMemory);
        base = repository.baseFolder();
        QVERIFY(QFileInfo(base).fileName().startsWith("VantrelTests-"));
        QCOMPARE(QFileInfo(base).absolutePath(), QDir::tempPath());
        QCOMPARE(repository.retentionLimit(), std::nullopt);
        const auto record = repository.insert(test::makePicture(8, 8), std::nullopt, minutesAgo(0));
        QVERIFY(record && QFileInfo::exists(record->thumbnailPath));
        QCOMPARE(repository.fetchAll().size(), 1);
        QVERIFY(!QFileInfo::exists(QDir(base).filePath("Vantrel.store")));
    }
    QVERIFY(!QFileInfo::exists(base));
    // The capture itself is the user's and stays in the save folder.
    QCOMPARE(folders.capturesInSaveFolder().size(), 1);
}

QTEST_GUILESS_MAIN(CaptureRepositoryTest)
#include "CaptureRepositoryTest.moc"
