#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include "LibraryTestSupport.h"
#include "library/CaptureRepository.h"
#include "support/TestSupport.h"

using namespace ivra;

class InterruptedWriteTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedInsertLeavesNothingPartial();
    void fullDiskLeavesNoFile();

private:
    QString settingsPath(const test::LibraryFolders& folders) const {
        return QDir(folders.root.path()).filePath("Ivra.conf");
    }
};

static bool waitForLine(QProcess& process) {
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(20000)) {
            return false;
        }
    }
    process.readLine();
    return true;
}

// Every PNG in the save folder decodes completely, and every record points at one.
static void verifyConsistent(const test::LibraryFolders& folders) {
    const QStringList all = folders.allInSaveFolder();
    QCOMPARE(folders.capturesInSaveFolder(), all); // no temporary files left behind
    for (const QString& name : all) {
        QImageReader reader(QDir(folders.saveFolder).filePath(name));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(name + ": " + reader.errorString()));
        QCOMPARE(image.size(), QSize(1920, 1080));
    }
    const QStringList thumbnails =
        QDir(QDir(folders.baseFolder).filePath("Captures")).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : thumbnails) {
        QVERIFY2(name.endsWith("_thumb.jpg"), qPrintable(name));
    }

    CaptureRepository repository(*folders.settings, folders.baseFolder);
    QVERIFY(!repository.damagedStoreNotice());
    for (const CaptureRecord& record : repository.fetchAll()) {
        QVERIFY(all.contains(QFileInfo(record.imagePath).fileName()));
        QCOMPARE(QImageReader(record.thumbnailPath).size(), QSize(240, 135));
    }
}

void InterruptedWriteTest::killedInsertLeavesNothingPartial() {
    test::LibraryFolders folders;
    QRandomGenerator random = QRandomGenerator::securelySeeded();
    int storedBefore = 0;
    for (int round = 0; round < 6; ++round) {
        QProcess helper;
        helper.start(IVRA_INSERT_HELPER, {"loop", folders.baseFolder, settingsPath(folders)});
        QVERIFY(helper.waitForStarted());
        // Time one insert, then kill the next one late in its course, where the files are
        // written and the record is saved.
        QElapsedTimer timer;
        QVERIFY(waitForLine(helper));
        timer.start();
        QVERIFY(waitForLine(helper));
        const qint64 insertMs = timer.restart();
        const auto killAtMs = static_cast<qint64>(insertMs * (0.5 + random.generateDouble() / 2));
        QTest::qWait(static_cast<int>(std::max<qint64>(0, killAtMs - timer.elapsed())));
        helper.kill(); // SIGKILL
        QVERIFY(helper.waitForFinished());

        verifyConsistent(folders);
        if (QTest::currentTestFailed()) {
            return;
        }
        const int stored = static_cast<int>(
            CaptureRepository(*folders.settings, folders.baseFolder).fetchAll().size());
        QVERIFY(stored > storedBefore);
        storedBefore = stored;
    }
}

void InterruptedWriteTest::fullDiskLeavesNoFile() {
    test::LibraryFolders folders;
    { CaptureRepository create(*folders.settings, folders.baseFolder); }
    // Room for the store, not for the capture's PNG.
    const auto result = test::runProcess(
        IVRA_INSERT_HELPER, {"limited", folders.baseFolder, settingsPath(folders), "200000"});
    QCOMPARE(result.standardOutput.trimmed(), QByteArray("refused"));
    QVERIFY(folders.allInSaveFolder().isEmpty());
    CaptureRepository repository(*folders.settings, folders.baseFolder);
    QVERIFY(repository.fetchAll().isEmpty());
    QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
}

QTEST_GUILESS_MAIN(InterruptedWriteTest)
#include "InterruptedWriteTest.moc"
