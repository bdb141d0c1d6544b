#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "editor/BackgroundRemover.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "editor/ui/EditorCoordinator.h"
#include "imageio/ImageCodec.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

QImage filledImage(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(90, 60, 30));
    return image;
}

struct Fixture {
    Fixture()
        : settings(std::make_shared<platform::IniKeyValueStore>(dir.filePath("ivra.conf")))
        , coordinator(EditorServices{&settings, std::make_shared<UnavailableBackgroundRemover>(),
                                     nullptr}) {}
    ~Fixture() {
        for (EditorView* window : coordinator.openWindows()) {
            delete window;
        }
    }

    QTemporaryDir dir;
    SettingsStore settings;
    EditorCoordinator coordinator;
};

} // namespace

class EditorCoordinatorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyOpenMakesANewWindowSizedForTheScreen();
    void closingAWindowDropsItAndItsMarks();
    void openFileReadsImagesAndExplainsFailures();
};

void EditorCoordinatorTest::initTestCase() {
    // The offscreen platform's one screen: 800 × 800 points at scale 1.
    const auto screen = EditorCoordinator::currentScreenMetrics();
    QVERIFY(screen);
    QCOMPARE(screen->devicePixelRatio, 1.0);
    QCOMPARE(screen->availableSizePt, QSizeF(800, 800));
}

void EditorCoordinatorTest::everyOpenMakesANewWindowSizedForTheScreen() {
    Fixture f;
    QVERIFY(!f.coordinator.open(QImage()));
    QVERIFY(f.coordinator.openWindows().isEmpty());

    const QImage image = filledImage({640, 480});
    EditorView* first = f.coordinator.open(image);
    EditorView* second = f.coordinator.open(image);
    QVERIFY(first && second && first != second);
    QCOMPARE(f.coordinator.openWindows(), (QList<EditorView*>{first, second}));
    QVERIFY(first->isWindow() && first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("Screenshot 640×480"));
    QCOMPARE(EditorCoordinator::windowTitle({2880, 1800}), QStringLiteral("Screenshot 2880×1800"));
    QVERIFY(&first->store() != &second->store());

    // Natural size on this screen (room 656 × 576 points); not resizable.
    QCOMPARE(first->canvas().displaySize(), QSizeF(640, 480));
    QCOMPARE(first->minimumSize(), first->maximumSize());
    QVERIFY(!(first->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(first->windowFlags() & Qt::WindowMinimizeButtonHint);
    const QPoint centre = first->frameGeometry().center();
    QVERIFY2(qAbs(centre.x() - 400) <= 1 && qAbs(centre.y() - 400) <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));

    // Larger images shrink to the room, keeping their aspect ratio.
    EditorView* large = f.coordinator.open(filledImage({2000, 1000}));
    QCOMPARE(large->canvas().displaySize(), QSizeF(656, 328));
    QCOMPARE(large->canvas().ratio(), 2000.0 / 656);
}

void EditorCoordinatorTest::closingAWindowDropsItAndItsMarks() {
    Fixture f;
    EditorView* kept = f.coordinator.open(filledImage({100, 80}));
    EditorView* closed = f.coordinator.open(filledImage({100, 80}));
    closed->store().appendStep({10, 10}, 1);
    kept->store().appendStep({20, 20}, 1);
    QPointer<AnnotationStore> closedStore = &closed->store();
    QPointer<EditorView> closedWindow = closed;

    QVERIFY(closed->close());
    QTRY_VERIFY(closedWindow.isNull());
    QVERIFY(closedStore.isNull());
    QCOMPARE(f.coordinator.openWindows(), QList<EditorView*>{kept});
    QCOMPARE(kept->store().annotations().size(), 1);
}

void EditorCoordinatorTest::openFileReadsImagesAndExplainsFailures() {
    Fixture f;
    QString error;
    const QString missing = f.dir.filePath("missing.png");
    QVERIFY(!f.coordinator.openFile(missing, &error));
    QVERIFY2(error.contains(missing), qPrintable(error));

    const QString notAnImage = f.dir.filePath("notes.png");
    QVERIFY(test::writeFile(notAnImage, "these are words, not pixels"));
    error.clear();
    QVERIFY(!f.coordinator.openFile(notAnImage, &error));
    QVERIFY2(error.contains(notAnImage), qPrintable(error));
    QVERIFY(f.coordinator.openWindows().isEmpty());

    const QString png = f.dir.filePath("shot.png");
    QImage picture = filledImage({300, 200});
    picture.setPixelColor(7, 9, QColor(255, 0, 0));
    QVERIFY(test::writeFile(png, *imageio::encodePng(picture)));
    QVERIFY(f.coordinator.openFile(png));
    QCOMPARE(f.coordinator.openWindows().size(), 1);
    const QImage opened = f.coordinator.openWindows().first()->baseImage();
    QCOMPARE(opened.size(), QSize(300, 200));
    QCOMPARE(opened.pixelColor(7, 9), QColor(255, 0, 0));
}

QTEST_MAIN(EditorCoordinatorTest)
#include "EditorCoordinatorTest.moc"
