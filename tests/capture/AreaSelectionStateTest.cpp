#include <QDir>
#include <QPromise>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "capture/AreaSelectionState.h"
#include "editor/BackgroundRemover.h"
#include "keyboard/KeyPositions.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

// Every pixel different: red and green carry x and y, so a crop tells where it came from.
QImage patternFrame(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            line[x] = qRgb(x % 256, y % 256, (x / 256) * 16 + (y / 256));
        }
    }
    return image;
}

// Lifts the left half of whatever it gets, after the test opens the gate.
class GatedRemover final : public BackgroundRemover {
public:
    explicit GatedRemover(bool findsSubject)
        : m_findsSubject(findsSubject) {}
    std::optional<QImage> cutout(const QImage& image) const override {
        gate.acquire();
        if (!m_findsSubject) {
            return std::nullopt;
        }
        QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < result.height(); ++y) {
            std::fill_n(reinterpret_cast<QRgb*>(result.scanLine(y)), result.width() / 2, 0);
        }
        return result;
    }
    mutable QSemaphore gate;

private:
    const bool m_findsSubject;
};

// One overlay's state over a 400 × 300 point display at scale 2, with every ending counted.
struct Fixture {
    explicit Fixture(double scale = 2, std::shared_ptr<const BackgroundRemover> remover = {})
        : settings(std::make_shared<platform::IniKeyValueStore>(dir.filePath("ivra.conf"))) {
        settings.setSaveDirectory(dir.path());
        frame = patternFrame((QSizeF(400, 300) * scale).toSize());
        AreaSelectionState::Services services{
            settings, std::move(remover),
            [this](const QImage& image) {
                recognizedImages.append(image);
                recognition = std::make_shared<QPromise<RecognitionResult>>();
                recognition->start();
                return recognition->future();
            },
            [this](const QString& text) { shownTexts.append(text); }};
        state = std::make_unique<AreaSelectionState>(
            frame, QSizeF(400, 300), scale, [this] { endings.append("cancel"); },
            [this](QImage image) {
                endings.append("copy");
                delivered = image;
            },
            [this](QImage image) {
                endings.append("done");
                delivered = image;
            },
            [this] { endings.append("dismiss"); }, services);
        state->setOnAnnotationBegan([this] { ++annotationBegan; });
    }

    // A drag in selection space (y up), as the overlay reports it in view space.
    void drag(QPointF from, QPointF to, bool end = true) {
        state->selectionDragChanged(state->viewPoint(from));
        state->selectionDragChanged(state->viewPoint(to));
        if (end) {
            state->selectionDragEnded();
        }
    }
    AnnotationStore& store() { return *state->annotation()->store; }
    QRectF selection() { return state->annotation()->selectionRect; }
    void finishRecognition(const QString& text) {
        recognition->addResult(RecognitionResult{text, std::nullopt});
        recognition->finish();
    }

    QTemporaryDir dir;
    SettingsStore settings;
    QImage frame;
    std::unique_ptr<AreaSelectionState> state;
    QStringList endings;
    QImage delivered;
    int annotationBegan = 0;
    QList<QImage> recognizedImages;
    std::shared_ptr<QPromise<RecognitionResult>> recognition;
    QStringList shownTexts;
};

Annotation mark(QList<QPointF> points) {
    Annotation annotation;
    annotation.id = QUuid::createUuid();
    annotation.tool = AnnotationTool::Rect;
    annotation.points = std::move(points);
    annotation.lineWidth = 3;
    return annotation;
}

} // namespace

class AreaSelectionStateTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void drawsRectanglesWithModifiersAndClipping();
    void confirmsOnlyRectanglesLargerThanTwoPoints();
    void resizesPinTwelvePointsAgainstTheOppositeEdge();
    void movesClampToTheDisplayAndCarryTheMarks();
    void keysFollowTheTableInOrder();
    void savesIntoTheSaveFolderThenDismisses();
    void recognitionDismissesAndShowsTheText();
    void backgroundRemovalSwapsTheCropUntilTheNextMove();
};

void AreaSelectionStateTest::drawsRectanglesWithModifiersAndClipping() {
    Fixture f;
    // View space is flipped: a view point (10, 20) is 280 points above the bottom edge.
    f.state->selectionDragChanged({10, 20});
    QCOMPARE(*f.state->dragStart(), QPointF(10, 280));
    QCOMPARE(f.state->viewRect(QRectF(10, 200, 50, 40)), QRectF(10, 60, 50, 40));
    QCOMPARE(f.state->pixelRect(QRectF(10, 200, 50, 40)), QRectF(20, 120, 100, 80));

    const auto rectFor = [](QPointF from, QPointF to, bool shift, bool option) {
        Fixture g;
        g.state->handleModifiersChanged(shift, option);
        g.drag(from, to, false);
        return *g.state->currentSelectionRect();
    };
    QCOMPARE(rectFor({100, 100}, {40, 120}, false, false), QRectF(40, 100, 60, 20));
    // Shift: a square from the lower-left corner, past the pointer.
    QCOMPARE(rectFor({100, 100}, {40, 120}, true, false), QRectF(40, 100, 60, 60));
    // Alt: the start point is the centre.
    QCOMPARE(rectFor({100, 100}, {130, 120}, false, true), QRectF(70, 80, 60, 40));
    // Leaving the display clips; wholly outside leaves nothing.
    QCOMPARE(rectFor({350, 250}, {480, 340}, false, false), QRectF(350, 250, 50, 50));
    QCOMPARE(rectFor({-50, -50}, {-10, -20}, false, false).isEmpty(), true);
    // Shift and Alt together: a square around the start point, clipped.
    QCOMPARE(rectFor({20, 100}, {50, 110}, true, true), QRectF(0, 90, 50, 60));
}

void AreaSelectionStateTest::confirmsOnlyRectanglesLargerThanTwoPoints() {
    Fixture f;
    QSignalSpy drags(f.state.get(), &AreaSelectionState::dragChanged);
    // A click without movement starts over.
    f.drag({100, 100}, {100, 100});
    QCOMPARE(f.state->phase(), AreaSelectionState::Phase::Selecting);
    QVERIFY(!f.state->dragStart() && !f.state->dragCurrent());
    f.drag({100, 100}, {102, 150}); // 2 × 50
    QCOMPARE(f.state->phase(), AreaSelectionState::Phase::Selecting);
    QVERIFY(!f.state->dragStart());
    QVERIFY(drags.count() >= 4);
    // Return with nothing drawn does nothing either.
    QVERIFY(f.state->handleKeyDown(keypos::Return, false));
    QCOMPARE(f.state->phase(), AreaSelectionState::Phase::Selecting);

    f.drag({100, 100}, {102.5, 102.5});
    QCOMPARE(f.state->phase(), AreaSelectionState::Phase::Annotating);
    QCOMPARE(f.annotationBegan, 1);
    QVERIFY(f.endings.isEmpty());

    // The crop is what was on the screen there: whole pixels covering the selection.
    Fixture g;
    g.drag({10, 200}, {60, 240}); // view rect (10, 60, 50, 40) → pixels (20, 120, 100, 80)
    QCOMPARE(g.state->annotation()->crop, g.frame.copy(20, 120, 100, 80));
    QCOMPARE(g.selection(), QRectF(10, 200, 50, 40));
    QVERIFY(!g.state->annotation()->hasCutout);
    QVERIFY(g.store().annotations().isEmpty());
    // Hover no longer moves the crosshair once annotating.
    const QPointF before = g.state->mouseLocation();
    g.state->hover({5, 5});
    QCOMPARE(g.state->mouseLocation(), before);
}

void AreaSelectionStateTest::resizesPinTwelvePointsAgainstTheOppositeEdge() {
    Fixture f;
    f.drag({100, 100}, {200, 180}); // (100, 100, 100, 80)
    QCOMPARE(f.selection(), QRectF(100, 100, 100, 80));

    // The left handle dragged 500 points right: 12 wide, the right edge stays at 200.
    f.state->updateResize(ResizeHandle::Left, {500, 0});
    QCOMPARE(f.selection(), QRectF(188, 100, 12, 80));
    f.state->resizeEnded();

    // Translations are cumulative from the rectangle at the gesture's start.
    f.state->updateResize(ResizeHandle::BottomRight, {10, 10});
    f.state->updateResize(ResizeHandle::BottomRight, {20, 20});
    QCOMPARE(f.selection(), QRectF(188, 80, 32, 100));
    f.state->resizeEnded();
    // The top and right handles dragged past their opposite edges: pinned there too.
    f.state->updateResize(ResizeHandle::Top, {0, 300});
    QCOMPARE(f.selection(), QRectF(188, 80, 32, 12));
    f.state->resizeEnded();
    f.state->updateResize(ResizeHandle::Right, {-100, 0});
    QCOMPARE(f.selection(), QRectF(188, 80, 12, 12));
    f.state->resizeEnded();
    f.state->updateResize(ResizeHandle::BottomRight, {20, -20}); // back to 32 × 32
    QCOMPARE(f.selection(), QRectF(188, 80, 32, 12)); // bottom edge up to 92: pinned at 12
    f.state->resizeEnded();
    // The top-left handle up and left: both edges move, clipped to the display.
    f.state->updateResize(ResizeHandle::TopLeft, {-500, -500});
    QCOMPARE(f.selection(), QRectF(0, 80, 220, 220));
    f.state->resizeEnded();
    QCOMPARE(f.state->annotation()->crop.size(), QSize(440, 440));

    // A resize that would end under 12 points after clipping is ignored.
    Fixture g;
    g.drag({395, 100}, {400, 150});                      // 5 wide: confirmable
    g.state->updateResize(ResizeHandle::Right, {40, 0}); // 40 wide, clipped back to 5
    QCOMPARE(g.selection(), QRectF(395, 100, 5, 50));
    g.state->updateResize(ResizeHandle::Bottom, {0, 20}); // 5 × 70 after clipping: still too narrow
    QCOMPARE(g.selection(), QRectF(395, 100, 5, 50));
}

void AreaSelectionStateTest::movesClampToTheDisplayAndCarryTheMarks() {
    Fixture f; // scale 2
    f.drag({100, 100}, {200, 180});
    f.store().append(mark({{10, 20}, {60, 80}}));
    f.store().append(mark({{0, 0}, {5, 5}}));
    f.store().openTextField({30, 40});
    f.store().setPendingText(QStringLiteral("half typed"));

    // Right 10, up 5 (view y down): marks shift by (−20, +10) crop pixels.
    f.state->updateMove({10, -5});
    QCOMPARE(f.selection(), QRectF(110, 105, 100, 80));
    QCOMPARE(f.store().annotations()[0].points, (QList<QPointF>{{-10, 30}, {40, 90}}));
    QCOMPARE(f.store().annotations()[1].points, (QList<QPointF>{{-20, 10}, {-15, 15}}));
    QCOMPARE(*f.store().pendingTextLocation(), QPointF(10, 50));
    QCOMPARE(f.store().pendingText(), QStringLiteral("half typed"));
    QCOMPARE(f.state->annotation()->crop, f.frame.copy(f.state->pixelRect(f.selection()).toRect()));

    // Cumulative within a gesture: the next translation starts from the same anchor.
    f.state->updateMove({20, -5});
    QCOMPARE(f.selection(), QRectF(120, 105, 100, 80));
    QCOMPARE(f.store().annotations()[0].points[0], QPointF(-30, 30));
    f.state->moveEnded();

    // Past the edges: flush with them, never beyond.
    f.state->updateMove({1000, -1000});
    QCOMPARE(f.selection(), QRectF(300, 220, 100, 80));
    f.state->updateMove({-1000, 1000});
    QCOMPARE(f.selection(), QRectF(0, 0, 100, 80));
    f.state->moveEnded();
    // Back where the marks were drawn, they are where they were drawn.
    f.state->updateMove({100, -100});
    f.state->moveEnded();
    QCOMPARE(f.selection(), QRectF(100, 100, 100, 80));
    QCOMPARE(f.store().annotations()[0].points, (QList<QPointF>{{10, 20}, {60, 80}}));
}

void AreaSelectionStateTest::keysFollowTheTableInOrder() {
    {
        Fixture f;
        // Selecting: Ctrl+Z and tool letters pass through; Escape cancels once.
        QVERIFY(!f.state->handleKeyDown(keypos::Z, true));
        QVERIFY(!f.state->handleKeyDown(35, false));
        f.state->handleModifiersChanged(true, false);
        QVERIFY(f.state->lockAspectRatio() && !f.state->resizeFromCenter());
        QVERIFY(f.state->handleKeyDown(keypos::Escape, false));
        QCOMPARE(f.endings, QStringList{"cancel"});
        QVERIFY(f.state->isFinished());
        // After an ending every key passes and nothing ends twice.
        QVERIFY(!f.state->handleKeyDown(keypos::Escape, false));
        f.state->cancel();
        QCOMPARE(f.endings, QStringList{"cancel"});
    }
    {
        Fixture f;
        f.drag({100, 100}, {200, 180});
        // Tool keys by position, with or without Shift/Alt, never with Ctrl.
        QVERIFY(f.state->handleKeyDown(8, false)); // the C key without Ctrl: ellipse
        QCOMPARE(f.store().currentTool(), AnnotationTool::Ellipse);
        QVERIFY(f.state->handleKeyDown(keypos::S, false)); // S without Ctrl: step
        QCOMPARE(f.store().currentTool(), AnnotationTool::Step);
        QVERIFY(f.state->handleKeyDown(11, false)); // B: blur
        QCOMPARE(f.store().currentTool(), AnnotationTool::Blur);
        QVERIFY(!f.state->handleKeyDown(2, false)); // D: nothing, passes
        QVERIFY(!f.state->handleKeyDown(2, true));  // Ctrl+D: passes

        // Ctrl+Z undoes the newest mark.
        f.store().append(mark({{1, 1}, {9, 9}}));
        f.store().append(mark({{2, 2}, {8, 8}}));
        QVERIFY(f.state->handleKeyDown(keypos::Z, true));
        QCOMPARE(f.store().annotations().size(), 1);

        // While a label is typed: Escape drops the label only, other keys go to the field.
        f.store().openTextField({10, 10});
        f.store().setPendingText(QStringLiteral("secret"));
        QVERIFY(!f.state->handleKeyDown(keypos::Return, false));
        QVERIFY(!f.state->handleKeyDown(keypos::C, true));
        QVERIFY(!f.state->handleKeyDown(35, false));
        QCOMPARE(f.store().currentTool(), AnnotationTool::Blur);
        QVERIFY(f.state->handleKeyDown(keypos::Escape, false));
        QVERIFY(!f.store().pendingTextLocation());
        QVERIFY(f.store().pendingText().isEmpty());
        QVERIFY(f.endings.isEmpty());

        // The toolbar's copy composites without a label still being typed.
        f.store().openTextField({10, 10});
        f.store().setPendingText(QStringLiteral("not in the image"));
        f.state->copy();
        QCOMPARE(f.endings, QStringList{"copy"});
        QCOMPARE(f.delivered.size(), QSize(200, 160));
        QCOMPARE(f.delivered.pixel(150, 5), f.frame.pixel(350, 245)); // no marks there
        QVERIFY(f.delivered != f.state->annotation()->crop);          // the rect mark is drawn
        QVERIFY(!f.state->handleKeyDown(keypos::Return, false));      // finished: passes
    }
    {
        Fixture f;
        f.drag({100, 100}, {200, 180});
        QVERIFY(f.state->handleKeyDown(keypos::Return, false));
        QCOMPARE(f.endings, QStringList{"done"});
        QCOMPARE(f.delivered, f.state->annotation()->crop);
    }
    {
        Fixture f;
        f.drag({100, 100}, {200, 180});
        QVERIFY(f.state->handleKeyDown(keypos::C, true));
        QCOMPARE(f.endings, QStringList{"copy"});
    }
}

void AreaSelectionStateTest::savesIntoTheSaveFolderThenDismisses() {
    Fixture f;
    f.settings.setText(SettingsStore::Keys::filenameTemplate, QStringLiteral("Shot"));
    f.settings.setText(SettingsStore::Keys::exportFormat, QStringLiteral("jpeg"));
    f.drag({100, 100}, {200, 180});
    QSignalSpy toasts(f.state.get(), &AreaSelectionState::toastChanged);
    QVERIFY(f.state->handleKeyDown(keypos::S, true));
    QTRY_COMPARE(f.state->toast().value_or(QString()), QStringLiteral("Saved"));
    QVERIFY(f.endings.isEmpty()); // "Saved" shows first
    QTRY_COMPARE(f.endings, QStringList{"dismiss"});
    const QStringList files = QDir(f.dir.path()).entryList({"*.jpg"});
    QCOMPARE(files, QStringList{"Shot.jpg"});
    QCOMPARE(QImage(f.dir.filePath("Shot.jpg")).size(), QSize(200, 160));

    // Any other format is PNG; a folder that cannot be written says so and stays open.
    Fixture g;
    g.settings.setText(SettingsStore::Keys::filenameTemplate, QStringLiteral("Shot"));
    g.settings.setText(SettingsStore::Keys::exportFormat, QStringLiteral("tiff"));
    g.settings.setSaveDirectory(g.dir.filePath("missing/folder"));
    g.drag({100, 100}, {200, 180});
    g.state->saveToDefaultFolder();
    QTRY_COMPARE(g.state->toast().value_or(QString()), QStringLiteral("Save failed"));
    QTRY_VERIFY(!g.state->toast());
    QVERIFY(g.endings.isEmpty());
    g.settings.setSaveDirectory(g.dir.path());
    g.state->saveToDefaultFolder();
    QTRY_COMPARE(g.endings, QStringList{"dismiss"});
    QCOMPARE(QDir(g.dir.path()).entryList({"Shot.*"}), QStringList{"Shot.png"});
}

void AreaSelectionStateTest::recognitionDismissesAndShowsTheText() {
    {
        // Text mode: confirming closes the overlay at once, the text comes later.
        Fixture f;
        f.state->setOcrMode(true);
        f.drag({10, 200}, {60, 240});
        QCOMPARE(f.endings, QStringList{"dismiss"});
        QCOMPARE(f.recognizedImages.size(), 1);
        QCOMPARE(f.recognizedImages[0], f.frame.copy(20, 120, 100, 80));
        QVERIFY(f.shownTexts.isEmpty());
        f.finishRecognition(QStringLiteral("Invoice 4711"));
        QTRY_COMPARE(f.shownTexts, QStringList{"Invoice 4711"});
        QCOMPARE(f.endings, QStringList{"dismiss"});
    }
    {
        // O while annotating: open until the text is there, then dismissed, then shown;
        // the crop without marks is read.
        Fixture f;
        f.drag({10, 200}, {60, 240});
        f.store().append(mark({{0, 0}, {50, 50}}));
        QVERIFY(f.state->handleKeyDown(keypos::O, false));
        QVERIFY(f.state->handleKeyDown(keypos::O, false)); // a second O starts nothing
        QCOMPARE(f.recognizedImages.size(), 1);
        QCOMPARE(f.recognizedImages[0], f.state->annotation()->crop);
        QVERIFY(f.endings.isEmpty());
        f.finishRecognition(QStringLiteral("Total"));
        QTRY_COMPARE(f.endings, QStringList{"dismiss"});
        QCOMPARE(f.shownTexts, QStringList{"Total"});
    }
    {
        // Cancelled and released while reading: the text is still shown, nothing ends twice.
        Fixture f;
        f.drag({10, 200}, {60, 240});
        f.state->runOCR();
        f.state->cancel();
        f.state.reset();
        f.finishRecognition(QStringLiteral("late"));
        QTRY_COMPARE(f.shownTexts, QStringList{"late"});
        QCOMPARE(f.endings, QStringList{"cancel"});
    }
}

void AreaSelectionStateTest::backgroundRemovalSwapsTheCropUntilTheNextMove() {
    auto remover = std::make_shared<GatedRemover>(true);
    Fixture f(2, remover);
    f.drag({100, 100}, {200, 180});
    const QImage original = f.state->annotation()->crop;
    f.state->removeBackground();
    QCOMPARE(f.state->toast().value_or(QString()), QStringLiteral("Removing background…"));
    remover->gate.release();
    QTRY_VERIFY(f.state->annotation()->hasCutout);
    QCOMPARE(f.state->toast().value_or(QString()), QStringLiteral("Background removed"));
    QCOMPARE(qAlpha(f.state->annotation()->crop.pixel(5, 5)), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!f.state->toast(), 3000);
    // Any move shows the unedited pixels again.
    f.state->updateMove({1, 0});
    f.state->updateMove({0, 0});
    f.state->moveEnded();
    QVERIFY(!f.state->annotation()->hasCutout);
    QCOMPARE(f.state->annotation()->crop, original);

    // A selection moved while the model runs: the stale result is dropped.
    f.state->removeBackground();
    f.state->updateMove({30, 0});
    f.state->moveEnded();
    const QRectF moved = f.selection();
    remover->gate.release();
    QTRY_VERIFY(!f.state->toast());
    QVERIFY(!f.state->annotation()->hasCutout);
    QCOMPARE(f.selection(), moved);

    // No subject: the context stays, the toast says why.
    auto none = std::make_shared<GatedRemover>(false);
    Fixture g(2, none);
    g.drag({100, 100}, {200, 180});
    g.state->removeBackground();
    none->gate.release();
    QTRY_COMPARE(g.state->toast().value_or(QString()),
                 QStringLiteral("No subject to lift — works on photos, not flat UI"));
    QVERIFY(!g.state->annotation()->hasCutout);
}

QTEST_MAIN(AreaSelectionStateTest)
#include "AreaSelectionStateTest.moc"
