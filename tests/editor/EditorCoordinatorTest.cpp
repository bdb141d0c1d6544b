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
        , coordinator(EditorServices{settings, std::make_shared<UnavailableBackgroundRemover>(),
                                     nullptr}) {}
    ~Fixture() { qDeleteAll(coordinator.openWindows()); }

    QTemporaryDir dir;
    SettingsStore settings;
    EditorCoordinator coordinator;
};

} // namespace

class EditorCoordinatorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyOpenMakesItsOwnWindowAndFilesAreReadOrExplained();
};

void EditorCoordinatorTest::everyOpenMakesItsOwnWindowAndFilesAreReadOrExplained() {
    // The offscreen platform's one screen: 800 × 800 points at scale 1, so the canvas may
    // take 656 × 576 points.
    const auto screen = EditorCoordinator::currentScreenMetrics();
    QVERIFY(screen && screen->devicePixelRatio == 1 && screen->availableSizePt == QSizeF(800, 800));

    Fixture f;
    QVERIFY(!f.coordinator.open(QImage()));
    const QImage image = filledImage({640, 480});
    EditorView* first = f.coordinator.open(image);
    EditorView* second = f.coordinator.open(image);
    QCOMPARE(f.coordinator.openWindows(), (QList<EditorView*>{first, second}));
    QVERIFY(first->isWindow() && first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("Screenshot 640×480"));
    QCOMPARE(first->canvas().displaySize(), QSizeF(640, 480)); // natural size
    QCOMPARE(first->minimumSize(), first->maximumSize());      // not resizable
    const QPoint centre = first->frameGeometry().center();
    QVERIFY(qAbs(centre.x() - 400) <= 1 && qAbs(centre.y() - 400) <= 1);

    EditorView* large = f.coordinator.open(filledImage({2000, 1000})); // width limits
    QCOMPARE(large->canvas().displaySize(), QSizeF(656, 328));
    // 1440 × 900 points into room for 1180.8 × 637.5 on a scale-2 laptop: the height limits.
    const ScreenMetrics laptop{2, QSizeF(1440, 875)};
    QCOMPARE(editorDisplaySize({2880, 1800}, laptop), QSizeF(1020, 637.5));
    QCOMPARE(editorDisplaySize({1, 1}, laptop), QSizeF(0.5, 0.5)); // never enlarged
    // No screen known: scale 2 and room for 1180.8 × 658.
    QCOMPARE(editorDisplaySize({4000, 2000}, std::nullopt), QSizeF(1180.8, 590.4));
    QCOMPARE(editorDisplaySize({2000, 2000}, std::nullopt), QSizeF(658, 658));

    // Each window has its own marks, dropped when it closes.
    first->store().appendStep({10, 10}, 1);
    second->store().appendStep({20, 20}, 1);
    QPointer<AnnotationStore> closedStore = &second->store();
    QVERIFY(second->close());
    QTRY_VERIFY(closedStore.isNull());
    QCOMPARE(f.coordinator.openWindows(), (QList<EditorView*>{first, large}));
    QCOMPARE(first->store().annotations().size(), 1);

    const QString missing = f.dir.filePath("missing.png");
    const QString notAnImage = f.dir.filePath("notes.png");
    QVERIFY(test::writeFile(notAnImage, "these are words, not pixels"));
    for (const QString& path : {missing, notAnImage}) {
        QString error;
        QVERIFY(!f.coordinator.openFile(path, &error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }
    QCOMPARE(f.coordinator.openWindows(), (QList<EditorView*>{first, large}));

    const QString png = f.dir.filePath("shot.png");
    QImage picture = filledImage({300, 200});
    picture.setPixelColor(7, 9, QColor(255, 0, 0));
    QVERIFY(test::writeFile(png, *imageio::encodePng(picture)));
    QVERIFY(f.coordinator.openFile(png));
    const QImage opened = f.coordinator.openWindows().value(2)->baseImage();
    QCOMPARE(opened.size(), QSize(300, 200));
    QCOMPARE(opened.pixelColor(7, 9), QColor(255, 0, 0));
}

QTEST_MAIN(EditorCoordinatorTest)
#include "EditorCoordinatorTest.moc"
