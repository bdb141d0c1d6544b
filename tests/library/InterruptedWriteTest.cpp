#include <csignal>
#include <cstdio>
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include "LibraryTestSupport.h"
#include "support/TestSupport.h"

using namespace ivra;

// The same executable, started with "loop <base folder> <settings file>", stores 1920x1080
// captures (megabytes each) forever, printing "inserted" after each; started with "limited
// <base folder> <settings file> <max file bytes>", it stores one capture with files capped at
// that size (as on a full disk) and prints "stored" or "refused".
static int runInsertHelper(const QStringList& args) {
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(args[3]));
    CaptureRepository repository(settings, args[2]);
    repository.setRetentionLimit(std::nullopt);
    // Pixels that barely compress: the PNG is megabytes, so writing it takes a while.
    QImage picture(1920, 1080, QImage::Format_RGB32);
    QRandomGenerator(12345).fillRange(reinterpret_cast<quint32*>(picture.bits()),
                                      picture.sizeInBytes() / 4);
    if (args[1] == QLatin1String("limited") && args.size() == 5) {
        // Writes past the limit fail with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{args[4].toULongLong(), args[4].toULongLong()};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool stored = repository.insert(picture, std::nullopt, {}).has_value();
        std::printf("%s\n", stored ? "stored" : "refused");
        return 0;
    }
    while (repository.insert(picture, std::nullopt, {})) {
        std::printf("inserted\n");
        std::fflush(stdout);
    }
    return 1;
}

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
        // A new seed each run, printed so a failure can be replayed with
        // IVRA_TEST_SEED=<seed>.
        bool fixed = false;
        const quint32 seed = qEnvironmentVariableIntValue("IVRA_TEST_SEED", &fixed);
        const quint32 used = fixed ? seed : QRandomGenerator::system()->generate();
        qInfo("kill delays drawn with IVRA_TEST_SEED=%u", used);
        QRandomGenerator random(used);
        const auto nextLine = [](QProcess& process) {
            while (!process.canReadLine() && process.waitForReadyRead(20000)) {
            }
            return process.canReadLine() && !process.readLine().isEmpty();
        };
        qsizetype storedBefore = 0;
        for (int round = 0; round < 6; ++round) {
            QProcess helper;
            helper.start(QCoreApplication::applicationFilePath(),
                         {"loop", folders.baseFolder, folders.settingsFile});
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
        const auto result =
            test::runProcess(QCoreApplication::applicationFilePath(),
                             {"limited", folders.baseFolder, folders.settingsFile, "200000"});
        QCOMPARE(result.standardOutput.trimmed(), QByteArray("refused"));
        QVERIFY(folders.allInSaveFolder().isEmpty());
        CaptureRepository repository = folders.open();
        QVERIFY(repository.fetchAll().isEmpty());
        QVERIFY(QDir(repository.capturesDirectory()).isEmpty());
    }
};

int main(int argc, char** argv) {
    if (argc >= 4 && (qstrcmp(argv[1], "loop") == 0 || qstrcmp(argv[1], "limited") == 0)) {
        QGuiApplication app(argc, argv);
        return runInsertHelper(app.arguments());
    }
    QCoreApplication app(argc, argv);
    InterruptedWriteTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "InterruptedWriteTest.moc"
