#include <algorithm>
#include <atomic>

#include <QAbstractButton>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "annotation/SaveDialog.h"
#include "editor/BackgroundRemover.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "editor/ui/AnnotationToolbar.h"
#include "editor/ui/EditorView.h"
#include "editor/ui/Toast.h"
#include "imageio/ImageCodec.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "recognition/ui/OCRResultWindow.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

const QColor kPaper(40, 120, 200);

// Answers as the test says and remembers what it was asked.
struct ScriptedSaveDialog final : SaveDialog {
    std::optional<QString> askForPath(const QString& suggestedName, ExportFormat format) override {
        askedName = suggestedName;
        askedFormat = format;
        ++asked;
        return answer;
    }
    std::optional<QString> answer;
    QString askedName;
    ExportFormat askedFormat = ExportFormat::Png;
    int asked = 0;
};

// Clears the left half, keeping the size, once the test opens the gate (or after 5 s); or,
// with `halfSize`, returns a smaller image at once.
struct FakeRemover final : BackgroundRemover {
    explicit FakeRemover(bool halfSize = false)
        : halfSize(halfSize) {}
    std::optional<QImage> cutout(const QImage& image) const override {
        ++calls;
        if (halfSize) {
            return image.scaled(image.size() / 2);
        }
        gate.tryAcquire(1, 5000);
        QImage result = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < result.height(); ++y) {
            std::fill_n(reinterpret_cast<QRgb*>(result.scanLine(y)), result.width() / 2, 0);
        }
        return result;
    }
    mutable std::atomic<int> calls = 0;
    mutable QSemaphore gate;
    const bool halfSize;
};

QImage paper(const QString& words = {}) {
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(words.isEmpty() ? kPaper : QColor(Qt::white));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(44);
    painter.setFont(font);
    painter.drawText(QPoint(40, 120), words);
    return image;
}

// An editor over a 640 × 480 image shown at 320 × 240 points (ratio 2).
struct Fixture {
    explicit Fixture(std::shared_ptr<const BackgroundRemover> remover =
                         std::make_shared<UnavailableBackgroundRemover>(),
                     const QImage& image = paper())
        : settings(std::make_shared<platform::IniKeyValueStore>(dir.filePath("ivra.conf"))) {
        // The editor makes its dialog when first saving.
        EditorServices services{settings, std::move(remover), [this](QWidget*) {
                                    auto made = std::make_unique<ScriptedSaveDialog>();
                                    dialog = made.get();
                                    return made;
                                }};
        view = std::make_unique<EditorView>(image, QSizeF(320, 240), std::move(services));
        view->show();
        // Window shortcuts (Ctrl+C, Ctrl+S) need the window to be the active one.
        activated = QTest::qWaitForWindowActive(view.get());
    }

    AnnotationStore& store() { return view->store(); }
    void drag(AnnotationTool tool, QPoint from, QPoint to) {
        store().setCurrentTool(tool);
        QTest::mousePress(&view->canvas(), Qt::LeftButton, {}, from);
        QTest::mouseMove(&view->canvas(), to);
        QTest::mouseRelease(&view->canvas(), Qt::LeftButton, {}, to);
    }
    void openLabel(QPoint at, const QString& text) {
        store().setCurrentTool(AnnotationTool::Text);
        QTest::mouseClick(&view->canvas(), Qt::LeftButton, {}, at);
        QTest::keyClicks(view->canvas().textField(), text);
    }
    // A key press as the X server reports it: the key code of the physical key (X11, evdev
    // + 8), and the key and text the active layout gives it. Through the window, as the
    // platform delivers keys.
    void pressKeyCode(quint32 keyCode, int key, const QString& text,
                      Qt::KeyboardModifiers modifiers = {}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, keyCode, 0, 0, text);
        QCoreApplication::sendEvent(view->windowHandle(), &press);
    }
    // A key press carrying `text`, as a keyboard layout produces it.
    void press(Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers = {}) {
        QTest::sendKeyEvent(QTest::Click, view.get(), key, text, modifiers);
    }

    QTemporaryDir dir;
    SettingsStore settings;
    ScriptedSaveDialog* dialog = nullptr;
    std::unique_ptr<EditorView> view;
    bool activated = false;
};

} // namespace

class EditorViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensWithToolbarAboveCanvasAndRoutesKeysToToolsTextAndLabels();
    void copyAndSaveExportTheFlattenedImage();
    void backgroundRemovalSwapsTheImageOrSaysWhyNot();
    void toastsClearWithTheFirstTimer();
    void commandsWinOverALabelAndFollowKeyPositions();
};

void EditorViewTest::opensWithToolbarAboveCanvasAndRoutesKeysToToolsTextAndLabels() {
    Fixture f(std::make_shared<UnavailableBackgroundRemover>(), paper("Invoice 4711"));
    QVERIFY(f.view->toolbar().geometry().bottom() < f.view->canvas().geometry().top());
    QVERIFY(!f.view->toolbar().findChild<QAbstractButton*>("done")); // not a pinning flow

    // Letter keys pick tools in the Latin and Ukrainian layouts.
    QVERIFY(f.activated && f.view->hasFocus());
    const QList<std::tuple<Qt::Key, QString, AnnotationTool>> keys{
        {Qt::Key_R, "r", AnnotationTool::Rect},
        {Qt::Key_P, QString(QChar(0x0437)), AnnotationTool::Pencil}, // з, Ukrainian layout
        {Qt::Key_A, "A", AnnotationTool::Arrow},                     // with Shift
        {Qt::Key_S, QString(QChar(0x0406)), AnnotationTool::Step},   // І, lower-cased to і
    };
    for (const auto& [key, text, tool] : keys) {
        f.press(key, text);
        QCOMPARE(f.store().currentTool(), tool);
    }
    f.press(Qt::Key_T, "t", Qt::ControlModifier); // Ctrl combinations are the toolbar's
    f.press(Qt::Key_X, "x");
    QCOMPARE(f.store().currentTool(), AnnotationTool::Step);

    // While a label is typed, keys go to it, even those that reach the editor itself.
    f.openLabel({20, 20}, QStringLiteral("rb"));
    f.press(Qt::Key_L, "l");
    QCOMPARE(f.store().pendingText(), QStringLiteral("rb"));
    QCOMPARE(f.store().currentTool(), AnnotationTool::Text);
    QTest::keyClick(f.view->canvas().textField(), Qt::Key_Escape); // abandons the label
    QVERIFY(!f.store().pendingTextLocation());
    QVERIFY(f.view->hasFocus()); // keys come back to the editor
    f.press(Qt::Key_L, "l");
    QCOMPARE(f.store().currentTool(), AnnotationTool::Line);
    QVERIFY(f.store().annotations().isEmpty());

    // O, or щ on the same key in the Ukrainian layout, reads the image without its marks.
    f.drag(AnnotationTool::Blur, {5, 5}, {315, 100}); // hides the words in exports only
    QSignalSpy recognized(f.view.get(), &EditorView::textRecognized);
    f.press(Qt::Key_O, "o");
    QVERIFY(f.view->isRecognizingText());
    QVERIFY(recognized.wait(60000));
    QVERIFY2(recognized[0][0].toString().contains(QStringLiteral("Invoice 4711")),
             qPrintable(recognized[0][0].toString()));
    QWidget* panel = OCRResultWindow::shared().panel();
    QVERIFY(panel && panel->isVisible());
    f.press(Qt::Key_O, QString(QChar(0x0449)));
    QVERIFY(f.view->isRecognizingText());
    QVERIFY(recognized.wait(60000));
}

void EditorViewTest::copyAndSaveExportTheFlattenedImage() {
    Fixture f;
    f.store().setCurrentLineWidth(8);
    f.drag(AnnotationTool::Rect, {20, 20}, {120, 120}); // 16-pixel strokes
    f.openLabel({200, 200}, QStringLiteral("WIP"));     // still open: not part of the copy
    QTest::mouseClick(f.view->toolbar().findChild<QAbstractButton*>("copy"), Qt::LeftButton);
    QCOMPARE(f.view->toast(), QStringLiteral("Copied"));
    QVERIFY(f.store().pendingTextLocation());

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data && data->hasFormat(QStringLiteral("image/png")));
    const QImage copied = imageio::decode(data->data(QStringLiteral("image/png")));
    QCOMPARE(copied.size(), QSize(640, 480)); // image pixels, not canvas points
    const QColor edge = copied.pixelColor(40, 140);
    QVERIFY2(edge.red() > 180 && edge.blue() < 100, qPrintable(edge.name()));
    QCOMPARE(copied.pixelColor(140, 140), kPaper);
    QCOMPARE(copied.pixelColor(420, 420), kPaper);

    // Save as offers a name from the template; a cancelled dialog says nothing.
    f.settings.setText(SettingsStore::Keys::filenameTemplate, "Board {date}: notes");
    QSignalSpy saves(f.view.get(), &EditorView::saveFinished);
    f.view->saveAs();
    QVERIFY(saves.wait()); // the save has ended: now "nothing said" means something
    QCOMPARE(saves.takeFirst().at(0).toBool(), false);
    QVERIFY(f.dialog && f.dialog->asked == 1 && f.view->toast() != QStringLiteral("Saved"));
    f.dialog->answer = f.dir.filePath("board.png");
    QTest::keyClick(f.view->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.dialog->askedFormat, ExportFormat::Png);
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(f.dialog->askedName, QStringLiteral("Board %1- notes.png").arg(today));
    QTRY_COMPARE(f.view->toast(), QStringLiteral("Saved"));
    QCOMPARE(imageio::decode(test::readFile(*f.dialog->answer)).convertToFormat(copied.format()),
             copied);
    // JPEG is offered alone when it is the export format.
    f.settings.setText(SettingsStore::Keys::exportFormat, "jpeg");
    f.dialog->answer.reset();
    QTest::mouseClick(f.view->toolbar().findChild<QAbstractButton*>("save"), Qt::LeftButton);
    QCOMPARE(f.dialog->askedFormat, ExportFormat::Jpeg);
    QVERIFY(f.dialog->askedName.endsWith(QStringLiteral(".jpg")));
}

void EditorViewTest::backgroundRemovalSwapsTheImageOrSaysWhyNot() {
    // No subject, or a cut-out of another size that would shift the marks: nothing changes.
    for (const auto& remover : {std::shared_ptr<const BackgroundRemover>(
                                    std::make_shared<UnavailableBackgroundRemover>()),
                                std::shared_ptr<const BackgroundRemover>(
                                    std::make_shared<FakeRemover>(/*halfSize=*/true))}) {
        Fixture f(remover);
        const qint64 before = f.view->baseImage().cacheKey();
        QSignalSpy finished(f.view.get(), &EditorView::backgroundRemovalFinished);
        f.view->removeBackground();
        QVERIFY(finished.wait());
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(f.view->toast(),
                 QStringLiteral("No subject to lift — works on photos, not flat UI"));
        QCOMPARE(f.view->baseImage().cacheKey(), before);
        QVERIFY(!f.view->backgroundRemoved() && !f.view->canvas().showsCheckerboard());
    }

    auto remover = std::make_shared<FakeRemover>();
    Fixture f(remover);
    f.drag(AnnotationTool::Rect, {20, 20}, {120, 120});
    QSignalSpy finished(f.view.get(), &EditorView::backgroundRemovalFinished);
    QTest::mouseClick(f.view->toolbar().findChild<QAbstractButton*>("removeBackground"),
                      Qt::LeftButton);
    QCOMPARE(f.view->toast(), QStringLiteral("Removing background…"));
    f.view->removeBackground(); // one at a time per image
    remover->gate.release();
    QVERIFY(finished.wait());
    QCOMPARE(remover->calls.load(), 1);
    QCOMPARE(f.view->toast(), QStringLiteral("Background removed"));
    QVERIFY(f.view->backgroundRemoved() && f.view->canvas().showsCheckerboard());
    QCOMPARE(f.store().annotations().size(), 1);

    // Grey cells show under the cleared half on screen; the export keeps it clear.
    const QColor shown = f.view->canvas().grab().toImage().pixelColor(60, 200);
    QVERIFY(shown.alpha() == 255 && shown.saturation() < 20);
    QCOMPARE(f.view->flattenedImage().pixelColor(200, 400).alpha(), 0);

    remover->gate.release();
    f.view->removeBackground(); // works again
    QVERIFY(finished.wait());
    QCOMPARE(remover->calls.load(), 2);
}

void EditorViewTest::toastsClearWithTheFirstTimer() {
    // A clock the test turns by hand: no sleeping, no dependence on the machine's load.
    QWidget host;
    host.resize(400, 300);
    Toast toast(&host);
    QList<std::pair<int, std::function<void()>>> due;
    toast.setScheduler([&](int delayMs, std::function<void()> task) {
        due.append({delayMs, std::move(task)});
    });
    toast.showMessage(QStringLiteral("Copied"));
    toast.showMessage(QStringLiteral("Saved"));
    QCOMPARE(toast.message(), QStringLiteral("Saved"));
    QCOMPARE(due.size(), 2);
    QCOMPARE(due[0].first, Toast::kDurationMs);
    // The first message's timer clears whatever shows by then, the second message too…
    due[0].second();
    QVERIFY(toast.message().isEmpty() && toast.isHidden());
    // …and the second's timer, when it runs out, has nothing left to clear.
    toast.showMessage(QStringLiteral("Background removed"));
    due[1].second();
    QVERIFY(toast.message().isEmpty());
    due[2].second();
    QVERIFY(toast.message().isEmpty());
}

void EditorViewTest::commandsWinOverALabelAndFollowKeyPositions() {
    Fixture f;
    QVERIFY(f.activated);
    // Ctrl+Z while a label is typed abandons the label, not a letter of it…
    f.openLabel({20, 20}, QStringLiteral("secret"));
    QTest::keyClick(f.view->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!f.store().pendingTextLocation());
    QVERIFY(f.store().annotations().isEmpty());
    // …and no earlier label's text comes back into the next one, by any undo of its field.
    f.openLabel({60, 60}, QString());
    QLineEdit* field = f.view->canvas().textField();
    QVERIFY(field->text().isEmpty() && !field->isUndoAvailable());
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier); // the field's own shortcut
    QVERIFY(field->text().isEmpty());
    QTest::keyClicks(field, QStringLiteral("kept"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(f.store().annotations().size(), 1);
    f.openLabel({100, 100}, QString());
    QVERIFY(!f.view->canvas().textField()->isUndoAvailable());

    // Ctrl+C with a label open copies (without the label) and says so.
    QGuiApplication::clipboard()->clear();
    QTest::keyClicks(f.view->canvas().textField(), QStringLiteral("draft"));
    QTest::keyClick(f.view->windowHandle(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(f.view->toast(), QStringLiteral("Copied"));
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png")));
    QTest::keyClick(f.view->canvas().textField(), Qt::Key_Escape);

    // In the Ukrainian layout alone: the keys' positions count, not their letters.
    QTRY_VERIFY_WITH_TIMEOUT(f.view->toast().isEmpty(), 3000);
    QGuiApplication::clipboard()->clear();
    f.pressKeyCode(54, 0x0421, QStringLiteral("с"), Qt::ControlModifier); // the C key
    QCOMPARE(f.view->toast(), QStringLiteral("Copied"));
    f.pressKeyCode(39, 0x0406, QStringLiteral("і"), Qt::ControlModifier); // the S key
    QVERIFY(f.dialog && f.dialog->asked == 1);
    f.pressKeyCode(33, 0x0417, QStringLiteral("з")); // the P key: pencil
    QCOMPARE(f.store().currentTool(), AnnotationTool::Pencil);
    f.pressKeyCode(27, 0x041A, QStringLiteral("к")); // the R key: rectangle
    QCOMPARE(f.store().currentTool(), AnnotationTool::Rect);
    f.pressKeyCode(52, 0x042F, QStringLiteral("я"), Qt::ControlModifier); // the Z key: undo
    QVERIFY(f.store().annotations().isEmpty());
}

QTEST_MAIN(EditorViewTest)
#include "EditorViewTest.moc"
