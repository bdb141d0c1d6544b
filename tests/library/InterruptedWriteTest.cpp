#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include "LibraryTestSupport.h"
#include "support/TestSupport.h"

using namespace ivra;

// Every PNG in the save folder decodes completely, and every record points at one.
static void verifyConsistent(const test::LibraryFolders& folders) {
    const QStringList all = folders.allInSaveFolder();
    QCOMPARE(folders.capturesInSaveFolder(), all); // no temporary files left behind
    for (const QString& name : all) {
        QImageReader reader(QDir(folders.saveFolder).filePath(name));
        QVERIFY2(reader.read().size() == QSize(1920, 1080),
                 qPrintable(name + ": " + reader.errorString()));
    }
    const QDir thumbnails(QDir(folders.baseFolder).filePath("Captures"));
    for (const QString& name : thumbnails.entryList(QDir::Files | QDir::Hidden)) {
        QVERIFY2(name.endsWith("_thumb.jpg"), qPrintable(name));
    }
    CaptureRepository repository = folders.open();
    QVERIFY(!repository.damagedStoreNotice());
    for (const CaptureRecord& record : repository.fetchAll()) {
        QVERIFY(all.contains(QFileInfo(record.imagePath).fileName()));
        QCOMPARE(QImageReader(record.thumbnailPath).size(), QSize(240, 135));
    }
}

class InterruptedWriteTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedInsertLeavesNothingPartial() {
        test::LibraryFolders folders;
        QRandomGenerator random = QRandomGenerator::securelySeeded();
        const auto nextLine = [](QProcess& process) {
            while (!process.canReadLine() && process.waitForReadyRead(20000)) {
            }
            return process.canReadLine() && !process.readLine().isEmpty();
        };
        qsizetype storedBefore = 0;
        for (int round = 0; round < 6; ++round) {
            QProcess helper;
            helper.start(IVRA_INSERT_HELPER, {"loop", folders.baseFolder, folders.settingsFile});
            // Time one insert, then kill the next one late in its course, where the files are
            // written and the record is saved.
            QVERIFY(nextLine(helper));
            QElapsedTimer timer;
            timer.start();
            QVERIFY(nextLine(helper));
            const qint64 insertMs = timer.restart();
            QTest::qWait(static_cast<int>(insertMs * (0.5 + random.generateDouble() / 2)));
            helper.kill(); // SIGKILL
            QVERIFY(helper.waitForFinished());

            verifyConsistent(folders);
            if (QTest::currentTestFailed()) {
                return;
            }
            const qsizetype stored = folders.open().fetchAll().size();
            QVERIFY(stored > storedBefore);
            storedBefore = stored;
        }
    }

    void fullDiskLeavesNoFile() {
        test::LibraryFolders folders;
        folders.open(); // the store exists before the disk fills
        // Room for the store, not for the capture's PNG.
        const auto result = test::runProcess(
            IVRA_INSERT_HELPER, {"limited", folders.baseFolder, folders.settingsFile, "200000"});
        QCOMPARE(result.standardOutput.trimmed(), QByteArray("refused"));
        QVERIFY(folders.allInSaveFolder().isEmpty());
        CaptureRepository repository = folders.open();
        QVERIFY(repository.fetchAll().isEmpty());
        QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(InterruptedWriteTest)
#include "InterruptedWriteTest.moc"
