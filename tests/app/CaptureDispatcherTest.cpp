#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include "app/CaptureDispatcher.h"
#include "capture/FrontmostApplication.h"
#include "capture/ScreenCaptureBackend.h"
#include "library/LibraryTestSupport.h"
#include "services/CaptureSound.h"
#include "settings/FolderChooser.h"

using namespace ivra;

namespace {

constexpr DisplayID kDisplay = 7;

// The platform's side of a capture: one 64×40-point display whose pixels are one colour.
// The real X11 backend is exercised by the capture tests and the end-to-end launch test;
// here only the decisions around it matter.
class ScriptedBackend final : public ScreenCaptureBackend {
public:
    bool failCapture = false;
    int captures = 0;

    QString name() const override { return QStringLiteral("scripted"); }
    void shareableContent(bool, bool,
                          std::function<void(CaptureResult<ShareableContent>)> done) override {
        ShareableContent content;
        content.displays.append({kDisplay, QRect(0, 0, 64, 40), QStringLiteral("A")});
        done(content);
    }
    void captureImage(const ContentFilter& filter, const CaptureConfiguration& configuration,
                      std::function<void(CaptureResult<QImage>)> done) override {
        ++captures;
        if (failCapture || filter.displayID != kDisplay) {
            done(CaptureError{QStringLiteral("the display went away")});
            return;
        }
        QImage image(configuration.sizePx, QImage::Format_ARGB32);
        image.fill(QColor(200, 30, 90));
        done(image);
    }
    std::optional<DisplayID> displayID(const QScreen&) const override { return kDisplay; }
    bool preflightAccess() const override { return true; }
    void requestAccess() override {}
};

class SettableFrontmost final : public FrontmostApplication {
public:
    std::optional<QString> current;
    std::optional<QString> currentApplicationID() override { return current; }
};

class CountingSound final : public CaptureSound {
public:
    int plays = 0;
    void play() override { ++plays; }
};

// Stands for the user at the folder prompt: picks the folder, or cancels.
class AnsweringChooser final : public FolderChooser {
public:
    std::optional<QString> answer;
    int asked = 0;
    // What happens while the prompt is open (it is modal: events keep flowing).
    std::function<void()> whileOpen;
    std::optional<QString> chooseFolder(const FolderChoiceRequest&) override {
        ++asked;
        if (whileOpen) {
            whileOpen();
        }
        return answer;
    }
};

struct Scene {
    test::LibraryFolders folders;
    CaptureRepository repository = folders.open();
    ScriptedBackend backend;
    SettableFrontmost frontmost;
    CountingSound sound;
    AnsweringChooser chooser;
    QList<QImage> copied, edited;
    QList<CaptureRecord> pinned;
    std::optional<AreaCaptureResult> areaResult;
    QList<bool> areaRequests;
    CaptureDispatcher dispatcher;

    explicit Scene(bool folderChosen = true)
        : folders(folderChosen)
        , dispatcher(services()) {}

    CaptureDispatcher::Services services() {
        return {*folders.settings,
                repository,
                backend,
                frontmost,
                sound,
                chooser,
                [this](const QImage& image) { copied.append(image); },
                [this](const QImage& image) { edited.append(image); },
                [this](const CaptureRecord& record, const QImage&) { pinned.append(record); },
                [] { return QGuiApplication::primaryScreen(); },
                [this](bool ocr, std::function<void(AreaCaptureResult)> done) {
                    areaRequests.append(ocr);
                    if (areaResult) {
                        done(*areaResult);
                    }
                },
                {}};
    }

    // Runs one request to its end.
    bool run(const std::function<void()>& request, int timeoutMs = 10000) {
        QSignalSpy finished(&dispatcher, &CaptureDispatcher::requestFinished);
        request();
        return !finished.isEmpty() || finished.wait(timeoutMs);
    }
};

} // namespace

class CaptureDispatcherTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullScreenIsStoredPinnedAndHeard();
    void afterCaptureActions_data();
    void afterCaptureActions();
    void withoutAFolderNothingIsLost();
    void countdownDelaysButKeepsTheApplicationOfTheRequest();
    void areaResults_data();
    void areaResults();
    void failuresEndQuietly();
};

void CaptureDispatcherTest::fullScreenIsStoredPinnedAndHeard() {
    Scene scene;
    scene.frontmost.current = QStringLiteral("org.example.Editor");
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));

    QCOMPARE(scene.pinned.size(), 1);
    const CaptureRecord record = scene.pinned.first();
    QCOMPARE(record.sourceAppBundleID,
             std::optional<QString>(QStringLiteral("org.example.Editor")));
    // The display's points at the screen's scale.
    const qreal dpr = QGuiApplication::primaryScreen()->devicePixelRatio();
    QCOMPARE(QSize(record.width, record.height), QSize(int(64 * dpr), int(40 * dpr)));
    const QImage stored(record.imagePath);
    QCOMPARE(stored.pixelColor(3, 3), QColor(200, 30, 90));
    QCOMPARE(scene.repository.fetchAll().size(), 1);
    QCOMPARE(scene.sound.plays, 1);
    QVERIFY(scene.copied.isEmpty());

    // With the copy switch on, a pinned capture is shown and copied; no sound when the
    // user switched it off.
    scene.folders.settings->setBool(SettingsStore::Keys::autoCopyOnCapture, true);
    scene.folders.settings->setBool(SettingsStore::Keys::playSoundOnCapture, false);
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));
    QCOMPARE(scene.pinned.size(), 2);
    QCOMPARE(scene.copied.size(), 1);
    QCOMPARE(scene.sound.plays, 1);
}

void CaptureDispatcherTest::afterCaptureActions_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("pins");
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("edits");
    QTest::newRow("copy") << "copy" << 0 << 1 << 0;
    QTest::newRow("editor") << "editor" << 0 << 0 << 1;
    QTest::newRow("pin") << "pin" << 1 << 0 << 0;
    QTest::newRow("unknown text pins") << "share" << 1 << 0 << 0;
}

void CaptureDispatcherTest::afterCaptureActions() {
    QFETCH(QString, action);
    Scene scene;
    scene.folders.settings->setText(SettingsStore::Keys::afterCaptureAction, action);
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));
    QTEST(int(scene.pinned.size()), "pins");
    QTEST(int(scene.copied.size()), "copies");
    QTEST(int(scene.edited.size()), "edits");
    // Every action stores the capture and plays the sound once.
    QCOMPARE(scene.repository.fetchAll().size(), 1);
    QCOMPARE(scene.folders.capturesInSaveFolder().size(), 1);
    QCOMPARE(scene.sound.plays, 1);
}

void CaptureDispatcherTest::withoutAFolderNothingIsLost() {
    // Pin with the folder prompt cancelled: the clipboard keeps the capture; no card and
    // no sound, since nothing was stored.
    {
        Scene scene(false);
        QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));
        QCOMPARE(scene.chooser.asked, 1);
        QVERIFY(scene.pinned.isEmpty());
        QCOMPARE(scene.copied.size(), 1);
        QCOMPARE(scene.copied.first().pixelColor(0, 0), QColor(200, 30, 90));
        QCOMPARE(scene.sound.plays, 0);
        QVERIFY(scene.repository.fetchAll().isEmpty());
    }
    // "editor": the editor still opens with the image.
    {
        Scene scene(false);
        scene.folders.settings->setText(SettingsStore::Keys::afterCaptureAction, "editor");
        QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));
        QCOMPARE(scene.edited.size(), 1);
        QVERIFY(scene.repository.fetchAll().isEmpty());
    }
    // Choosing a folder at the prompt stores the capture there. A request made while the
    // prompt is open ends at once: no second capture (it would show the prompt), no
    // second prompt.
    {
        Scene scene(false);
        scene.chooser.answer = scene.folders.saveFolder;
        scene.chooser.whileOpen = [&] {
            QSignalSpy finished(&scene.dispatcher, &CaptureDispatcher::requestFinished);
            scene.dispatcher.start(CaptureAction::FullScreen);
            QCOMPARE(finished.size(), 1);
        };
        QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));
        // (The dropped request's end was the signal run() saw; the capture goes on.)
        QTRY_COMPARE(scene.pinned.size(), 1);
        QCOMPARE(scene.folders.capturesInSaveFolder().size(), 1);
        QVERIFY(scene.copied.isEmpty());
        QCOMPARE(scene.backend.captures, 1);
        QCOMPARE(scene.chooser.asked, 1);
    }
}

void CaptureDispatcherTest::countdownDelaysButKeepsTheApplicationOfTheRequest() {
    Scene scene;
    scene.folders.settings->setInt(SettingsStore::Keys::countdownSeconds, 3);
    scene.frontmost.current = QStringLiteral("org.example.Before");
    QSignalSpy finished(&scene.dispatcher, &CaptureDispatcher::requestFinished);
    QElapsedTimer clock;
    clock.start();
    scene.dispatcher.start(CaptureAction::FullScreen);
    scene.frontmost.current = QStringLiteral("org.example.After");
    QTest::qWait(2500);
    QCOMPARE(scene.backend.captures, 0);
    QVERIFY(finished.wait(5000));
    QVERIFY(clock.elapsed() >= 3000);
    QCOMPARE(scene.pinned.size(), 1);
    QCOMPARE(scene.pinned.first().sourceAppBundleID,
             std::optional<QString>(QStringLiteral("org.example.Before")));
}

void CaptureDispatcherTest::areaResults_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("pins");
    QTest::addColumn<int>("sounds");
    QTest::newRow("pinned") << int(AreaCaptureResult::Kind::Pinned) << 1 << 1 << 1;
    QTest::newRow("copied") << int(AreaCaptureResult::Kind::Copied) << 1 << 0 << 1;
    QTest::newRow("dismissed") << int(AreaCaptureResult::Kind::Dismissed) << 0 << 0 << 1;
    QTest::newRow("cancelled") << int(AreaCaptureResult::Kind::Cancelled) << 0 << 0 << 0;
}

void CaptureDispatcherTest::areaResults() {
    QFETCH(int, kind);
    Scene scene;
    scene.frontmost.current = QStringLiteral("org.example.Chat");
    QImage image = test::makePicture(30, 20);
    scene.areaResult = AreaCaptureResult{AreaCaptureResult::Kind(kind), image};
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::Area); }));
    QCOMPARE(scene.areaRequests, QList<bool>{false});
    QTEST(int(scene.repository.fetchAll().size()), "stored");
    QTEST(int(scene.pinned.size()), "pins");
    QTEST(scene.sound.plays, "sounds");
    // The overlay copies for itself; the dispatcher never copies an area result unasked.
    QVERIFY(scene.copied.isEmpty());
    for (const CaptureRecord& record : scene.repository.fetchAll()) {
        QCOMPARE(record.sourceAppBundleID, scene.frontmost.current);
    }

    // Text recognition uses the overlay in its own mode and stores nothing.
    const int before = int(scene.repository.fetchAll().size());
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::Ocr); }));
    QCOMPARE(scene.areaRequests, (QList<bool>{false, true}));
    QCOMPARE(int(scene.repository.fetchAll().size()), before);
}

void CaptureDispatcherTest::failuresEndQuietly() {
    Scene scene;
    scene.backend.failCapture = true;
    QTest::ignoreMessage(QtWarningMsg,
                         "Ivra: the screen could not be captured: the display went away");
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::FullScreen); }));
    QCOMPARE(scene.backend.captures, 1);
    QVERIFY(scene.pinned.isEmpty() && scene.copied.isEmpty() && scene.edited.isEmpty());
    QCOMPARE(scene.sound.plays, 0);
    QVERIFY(scene.repository.fetchAll().isEmpty());

    // Without a window picker yet, a window request ends at once and takes nothing.
    QVERIFY(scene.run([&] { scene.dispatcher.start(CaptureAction::Window); }));
    QCOMPARE(scene.backend.captures, 1);
}

QTEST_MAIN(CaptureDispatcherTest)
#include "CaptureDispatcherTest.moc"
