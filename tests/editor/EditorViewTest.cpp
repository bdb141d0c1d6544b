#include <atomic>

#include <QAbstractButton>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "annotation/SaveDialog.h"
#include "editor/BackgroundRemover.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "editor/ui/AnnotationToolbar.h"
#include "editor/ui/EditorView.h"
#include "imageio/ImageCodec.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "recognition/ui/OCRResultWindow.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

// Answers the save dialog the way the test says and remembers what it was asked.
class ScriptedSaveDialog final : public SaveDialog {
public:
    explicit ScriptedSaveDialog(std::optional<QString> answer)
        : m_answer(std::move(answer)) {}

    std::optional<QString> askForPath(const QString& suggestedName, ExportFormat format) override {
        askedName = suggestedName;
        askedFormat = format;
        ++asked;
        return m_answer;
    }

    QString askedName;
    ExportFormat askedFormat = ExportFormat::Png;
    int asked = 0;

private:
    std::optional<QString> m_answer;
};

// Makes the left half of an image transparent, like a subject standing on the right.
// Hands the editor's requests to a dialog the test keeps.
class ForwardingSaveDialog final : public SaveDialog {
public:
    explicit ForwardingSaveDialog(SaveDialog& target)
        : m_target(target) {}
    std::optional<QString> askForPath(const QString& suggestedName, ExportFormat format) override {
        return m_target.askForPath(suggestedName, format);
    }

private:
    SaveDialog& m_target;
};

class LeftHalfRemover final : public BackgroundRemover {
public:
    std::optional<QImage> cutout(const QImage& image) const override {
        ++calls;
        lastInputHadAlpha = image.pixelColor(0, 0).alpha() == 0;
        QImage result = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < result.height(); ++y) {
            for (int x = 0; x < result.width() / 2; ++x) {
                result.setPixelColor(x, y, Qt::transparent);
            }
        }
        return result;
    }
    mutable std::atomic<int> calls = 0;
    mutable std::atomic<bool> lastInputHadAlpha = false;
};

class WrongSizeRemover final : public BackgroundRemover {
public:
    std::optional<QImage> cutout(const QImage& image) const override {
        return image.scaled(image.size() / 2);
    }
};

QImage testImage() {
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    return image;
}

struct Fixture {
    explicit Fixture(std::shared_ptr<const BackgroundRemover> remover =
                         std::make_shared<UnavailableBackgroundRemover>(),
                     std::optional<QString> saveAnswer = std::nullopt)
        : settings(std::make_shared<platform::IniKeyValueStore>(dir.filePath("ivra.conf")))
        , dialog(std::move(saveAnswer)) {
        EditorServices services{&settings, std::move(remover), [this](QWidget*) {
                                    return std::make_unique<ForwardingSaveDialog>(dialog);
                                }};
        view = std::make_unique<EditorView>(testImage(), QSizeF(320, 240), std::move(services));
        view->show();
        // Window shortcuts (Ctrl+C, Ctrl+S) need the window to be the active one.
        activated = QTest::qWaitForWindowActive(view.get());
    }

    AnnotationStore& store() { return view->store(); }
    void drawRect(QPointF from, QPointF to) {
        store().setCurrentTool(AnnotationTool::Rect);
        QTest::mousePress(&view->canvas(), Qt::LeftButton, {}, from.toPoint());
        QTest::mouseMove(&view->canvas(), to.toPoint());
        QTest::mouseRelease(&view->canvas(), Qt::LeftButton, {}, to.toPoint());
    }

    QTemporaryDir dir;
    SettingsStore settings;
    ScriptedSaveDialog dialog;
    std::unique_ptr<EditorView> view;
    bool activated = false;
};

// A key press carrying `text`, as a keyboard layout produces it.
void pressKey(QWidget* target, Qt::Key key, const QString& text,
              Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(target, &release);
}

} // namespace

class EditorViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanupTestCase();
    void toolbarSitsAboveTheCanvasWithTheEditorsActions();
    void letterKeysPickToolsInBothLayouts();
    void keysGoToTheLabelWhileOneIsTyped();
    void focusReturnsWhenALabelCloses();
    void recognitionKeysReadTheImageWithoutItsMarks();
    void copyPutsTheFlattenedImageOnTheClipboard();
    void saveAsOffersTheTemplateNameAndWritesTheChosenFile();
    void cancelledSaveSaysNothing();
    void backgroundRemovalWithoutASubjectSaysSo();
    void backgroundRemovalSwapsTheImageAndKeepsTheMarks();
    void aResultOfAnotherSizeIsNotTaken();
    void toastsClearWithTheFirstTimer();
};

void EditorViewTest::cleanupTestCase() {
    // The shared result panel must go while the application still exists.
    delete OCRResultWindow::shared().panel();
}

void EditorViewTest::toolbarSitsAboveTheCanvasWithTheEditorsActions() {
    Fixture f;
    EditorView& view = *f.view;
    QCOMPARE(view.canvas().size(), QSize(320, 240));
    QCOMPARE(view.canvas().displaySize(), QSizeF(320, 240));
    QCOMPARE(view.toolbar().y(), EditorView::kPaddingPt);
    QCOMPARE(view.canvas().y(), view.toolbar().geometry().bottom() + 1 + EditorView::kSpacingPt);
    QCOMPARE(view.height(), view.canvas().geometry().bottom() + 1 + EditorView::kPaddingPt);
    // Centred: the toolbar is wider than this canvas.
    QCOMPARE(view.toolbar().x(), EditorView::kPaddingPt);
    QVERIFY(qAbs(view.canvas().geometry().center().x() - view.toolbar().geometry().center().x()) <=
            1);

    for (const auto& name : {"save", "removeBackground", "recognize", "copy"}) {
        QVERIFY2(view.toolbar().findChild<QAbstractButton*>(name), name);
    }
    QVERIFY(!view.toolbar().findChild<QAbstractButton*>("done"));
    QVERIFY(!view.toolbar().findChild<QAbstractButton*>("cancel"));
}

void EditorViewTest::letterKeysPickToolsInBothLayouts() {
    Fixture f;
    QWidget* view = f.view.get();
    QVERIFY(f.activated);
    QVERIFY(view->hasFocus());

    const struct {
        Qt::Key key;
        QString text;
        AnnotationTool tool;
    } cases[] = {
        {Qt::Key_R, "r", AnnotationTool::Rect},
        {Qt::Key_P, "p", AnnotationTool::Pencil},
        {Qt::Key_B, QString(QChar(0x0438)), AnnotationTool::Blur},   // и, Ukrainian layout
        {Qt::Key_P, QString(QChar(0x0437)), AnnotationTool::Pencil}, // з
        {Qt::Key_A, "A", AnnotationTool::Arrow},                     // with Shift
        {Qt::Key_S, QString(QChar(0x0406)), AnnotationTool::Step},   // І, lower-cased to і
    };
    for (const auto& entry : cases) {
        pressKey(view, entry.key, entry.text);
        QCOMPARE(f.store().currentTool(), entry.tool);
    }

    // Ctrl combinations and other letters leave the tool alone.
    pressKey(view, Qt::Key_T, "t", Qt::ControlModifier);
    pressKey(view, Qt::Key_X, "x");
    pressKey(view, Qt::Key_1, "1");
    QCOMPARE(f.store().currentTool(), AnnotationTool::Step);
    QVERIFY(f.store().annotations().isEmpty());
}

void EditorViewTest::keysGoToTheLabelWhileOneIsTyped() {
    Fixture f;
    QVERIFY(f.activated);
    f.store().setCurrentTool(AnnotationTool::Text);
    QTest::mouseClick(&f.view->canvas(), Qt::LeftButton, {}, QPoint(20, 20));
    QLineEdit* field = f.view->canvas().textField();
    QVERIFY(field->hasFocus());

    QTest::keyClicks(field, QStringLiteral("rbo"));
    QCOMPARE(f.store().currentTool(), AnnotationTool::Text);
    QCOMPARE(f.store().pendingText(), QStringLiteral("rbo"));
    // Even keys sent to the editor itself change nothing while the label is open.
    pressKey(f.view.get(), Qt::Key_R, "r");
    QCOMPARE(f.store().currentTool(), AnnotationTool::Text);

    // Escape abandons the label.
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!f.store().pendingTextLocation());
    QVERIFY(f.store().annotations().isEmpty());
}

void EditorViewTest::focusReturnsWhenALabelCloses() {
    Fixture f;
    QVERIFY(f.activated);
    f.store().setCurrentTool(AnnotationTool::Text);
    QTest::mouseClick(&f.view->canvas(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::keyClicks(f.view->canvas().textField(), QStringLiteral("note"));
    QTest::keyClick(f.view->canvas().textField(), Qt::Key_Return);
    QCOMPARE(f.store().annotations().size(), 1);
    QVERIFY(f.view->hasFocus());

    pressKey(f.view.get(), Qt::Key_L, "l");
    QCOMPARE(f.store().currentTool(), AnnotationTool::Line);
}

void EditorViewTest::recognitionKeysReadTheImageWithoutItsMarks() {
    Fixture f;
    QImage page(640, 480, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(44);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(40, 120), QStringLiteral("Invoice 4711"));
    }
    EditorServices services{&f.settings, std::make_shared<UnavailableBackgroundRemover>(), nullptr};
    EditorView view(page, QSizeF(320, 240), services);
    view.show();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    // Blurring the words hides them in the export, not from recognition.
    view.store().setCurrentTool(AnnotationTool::Blur);
    QTest::mousePress(&view.canvas(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&view.canvas(), QPoint(315, 100));
    QTest::mouseRelease(&view.canvas(), Qt::LeftButton, {}, QPoint(315, 100));
    QCOMPARE(view.store().annotations().size(), 1);

    pressKey(&view, Qt::Key_O, "o", Qt::ControlModifier);
    QVERIFY(!view.isRecognizingText());

    QSignalSpy recognized(&view, &EditorView::textRecognized);
    pressKey(&view, Qt::Key_O, "o");
    QVERIFY(view.isRecognizingText());
    QVERIFY(recognized.wait(60000));
    QVERIFY2(recognized.first().first().toString().contains(QStringLiteral("Invoice 4711")),
             qPrintable(recognized.first().first().toString()));
    QWidget* panel = OCRResultWindow::shared().panel();
    QVERIFY(panel && panel->isVisible());
    QCOMPARE(panel->windowTitle(), QStringLiteral("Recognized Text"));

    // The same key in the Ukrainian layout.
    pressKey(&view, Qt::Key_O, QString(QChar(0x0449)));
    QVERIFY(view.isRecognizingText());
    QVERIFY(recognized.wait(60000));
    QCOMPARE(view.store().currentTool(), AnnotationTool::Blur);
}

void EditorViewTest::copyPutsTheFlattenedImageOnTheClipboard() {
    Fixture f;
    f.store().setCurrentLineWidth(8);
    f.drawRect({20, 20}, {120, 120}); // 2 image pixels per point: 16-pixel strokes
    // A label still being typed is not part of the copy.
    f.store().setCurrentTool(AnnotationTool::Text);
    QTest::mouseClick(&f.view->canvas(), Qt::LeftButton, {}, QPoint(200, 200));
    QTest::keyClicks(f.view->canvas().textField(), QStringLiteral("WIP"));

    // (Ctrl+C would copy from the label field, which has the keys while it is open.)
    QTest::mouseClick(f.view->toolbar().findChild<QAbstractButton*>("copy"), Qt::LeftButton);
    QCOMPARE(f.view->toast(), QStringLiteral("Copied"));
    QVERIFY(f.store().pendingTextLocation()); // copying does not commit the label

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data && data->hasFormat(QStringLiteral("image/png")));
    const QImage copied = imageio::decode(data->data(QStringLiteral("image/png")));
    QCOMPARE(copied.size(), QSize(640, 480)); // image pixels, not canvas points
    const QColor edge = copied.pixelColor(40, 140);
    QVERIFY2(edge.red() > 180 && edge.blue() < 100, qPrintable(edge.name()));
    QCOMPARE(copied.pixelColor(140, 140), QColor(40, 120, 200)); // inside the rectangle
    QCOMPARE(copied.pixelColor(420, 420), QColor(40, 120, 200)); // where the label is typed
}

void EditorViewTest::saveAsOffersTheTemplateNameAndWritesTheChosenFile() {
    QTemporaryDir out;
    const QString pngPath = out.filePath("shot.png");
    {
        Fixture f(std::make_shared<UnavailableBackgroundRemover>(), pngPath);
        f.settings.setText(SettingsStore::Keys::filenameTemplate, "Board {date}: notes");
        f.drawRect({20, 20}, {120, 120});
        QVERIFY(f.activated);
        QTest::keyClick(f.view.get(), Qt::Key_S, Qt::ControlModifier);

        QCOMPARE(f.dialog.asked, 1);
        QCOMPARE(f.dialog.askedFormat, ExportFormat::Png);
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QCOMPARE(f.dialog.askedName, QStringLiteral("Board %1- notes.png").arg(today));
        QTRY_COMPARE(f.view->toast(), QStringLiteral("Saved"));

        const QImage saved = imageio::decode(test::readFile(pngPath));
        QCOMPARE(saved.size(), QSize(640, 480));
        QCOMPARE(saved, f.view->flattenedImage().convertToFormat(saved.format()));
    }
    {
        const QString jpegPath = out.filePath("shot.jpg");
        Fixture f(std::make_shared<UnavailableBackgroundRemover>(), jpegPath);
        f.settings.setText(SettingsStore::Keys::exportFormat, "jpeg");
        f.view->saveAs();
        QCOMPARE(f.dialog.askedFormat, ExportFormat::Jpeg);
        QVERIFY(f.dialog.askedName.endsWith(QStringLiteral(".jpg")));
        QTRY_COMPARE(f.view->toast(), QStringLiteral("Saved"));
        QVERIFY(test::readFile(jpegPath).startsWith("\xFF\xD8\xFF"));
    }
}

void EditorViewTest::cancelledSaveSaysNothing() {
    Fixture f(std::make_shared<UnavailableBackgroundRemover>(), std::nullopt);
    f.view->saveAs();
    QCOMPARE(f.dialog.asked, 1);
    QTest::qWait(50);
    QCOMPARE(f.view->toast(), QString());
}

void EditorViewTest::backgroundRemovalWithoutASubjectSaysSo() {
    Fixture f;
    const qint64 before = f.view->baseImage().cacheKey();
    QSignalSpy finished(f.view.get(), &EditorView::backgroundRemovalFinished);
    QTest::mouseClick(f.view->toolbar().findChild<QAbstractButton*>("removeBackground"),
                      Qt::LeftButton);
    QCOMPARE(f.view->toast(), QStringLiteral("Removing background…"));
    QVERIFY(finished.wait());
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(f.view->toast(), QStringLiteral("No subject to lift — works on photos, not flat UI"));
    QCOMPARE(f.view->baseImage().cacheKey(), before);
    QVERIFY(!f.view->backgroundRemoved());
    QVERIFY(!f.view->canvas().showsCheckerboard());
}

void EditorViewTest::backgroundRemovalSwapsTheImageAndKeepsTheMarks() {
    auto remover = std::make_shared<LeftHalfRemover>();
    Fixture f(remover);
    f.drawRect({20, 20}, {120, 120});
    QSignalSpy finished(f.view.get(), &EditorView::backgroundRemovalFinished);

    f.view->removeBackground();
    f.view->removeBackground(); // one at a time per image
    QVERIFY(finished.wait());
    QCOMPARE(remover->calls.load(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(f.view->toast(), QStringLiteral("Background removed"));
    QVERIFY(f.view->backgroundRemoved());
    QVERIFY(f.view->canvas().showsCheckerboard());
    QCOMPARE(f.view->baseImage().pixelColor(10, 300).alpha(), 0);
    QCOMPARE(f.store().annotations().size(), 1);

    // The canvas shows the checkerboard under the cleared half; the export keeps it clear.
    const QImage shown = f.view->canvas().grab().toImage();
    QCOMPARE(shown.pixelColor(60, 200).alpha(), 255);
    QVERIFY(shown.pixelColor(60, 200).saturation() < 20); // grey cells
    QCOMPARE(f.view->flattenedImage().pixelColor(200, 400).alpha(), 0);

    // Offered again, and working on the cut-out.
    QVERIFY(f.view->toolbar().findChild<QAbstractButton*>("removeBackground"));
    f.view->removeBackground();
    QVERIFY(finished.wait());
    QCOMPARE(remover->calls.load(), 2);
    QVERIFY(remover->lastInputHadAlpha.load());
}

void EditorViewTest::aResultOfAnotherSizeIsNotTaken() {
    Fixture f(std::make_shared<WrongSizeRemover>());
    QSignalSpy finished(f.view.get(), &EditorView::backgroundRemovalFinished);
    f.view->removeBackground();
    QVERIFY(finished.wait());
    QCOMPARE(f.view->baseImage().size(), QSize(640, 480));
    QVERIFY(!f.view->backgroundRemoved());
    QCOMPARE(f.view->toast(), QStringLiteral("No subject to lift — works on photos, not flat UI"));
}

void EditorViewTest::toastsClearWithTheFirstTimer() {
    Fixture f;
    QElapsedTimer clock;
    clock.start();
    f.view->copy();
    QTest::qWait(700);
    const qint64 secondShownAt = clock.elapsed();
    if (secondShownAt > 1300) {
        QSKIP("the machine is too busy to tell the two timers apart");
    }
    f.view->copy();
    QCOMPARE(f.view->toast(), QStringLiteral("Copied"));
    QTRY_VERIFY_WITH_TIMEOUT(f.view->toast().isEmpty(), 3000);
    // Cleared by the first message's timer, well before the second one's would run out.
    QVERIFY2(clock.elapsed() - secondShownAt < 1400, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(EditorViewTest)
#include "EditorViewTest.moc"
