#include <QAbstractButton>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include "SegmentationImages.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "editor/ui/AnnotationToolbar.h"
#include "editor/ui/EditorCoordinator.h"
#include "editor/ui/EditorView.h"
#include "segmentation/ModelFiles.h"

using namespace ivra;

// The editor's "remove background" as the application wires it: editors opened by the
// application's coordinator, with its remover and the real network.
class EditorBackgroundRemovalTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void aPortraitIsCutOutOverTheCheckerboard();
    void aScreenshotHasNoSubject();

private:
    // Opens an editor on `image`, presses "remove background", and waits for the outcome.
    bool removeBackground(const QImage& image);

    QPointer<EditorView> m_view;
};

void EditorBackgroundRemovalTest::initTestCase() {
    const QString missing = test::missingSegmentationFiles(
        {segmentation::subjectMaskModelPath(), test::photoPath(QStringLiteral("astronaut.png"))});
    if (!missing.isEmpty()) {
        QSKIP(qPrintable(missing));
    }
}

bool EditorBackgroundRemovalTest::removeBackground(const QImage& image) {
    if (m_view) {
        m_view->close();
    }
    m_view = EditorCoordinator::shared().open(image);
    QSignalSpy finished(m_view.data(), &EditorView::backgroundRemovalFinished);
    QTest::mouseClick(m_view->toolbar().findChild<QAbstractButton*>("removeBackground"),
                      Qt::LeftButton);
    if (!finished.wait(60000)) {
        return false;
    }
    return finished[0][0].toBool();
}

void EditorBackgroundRemovalTest::aPortraitIsCutOutOverTheCheckerboard() {
    const QImage portrait(test::photoPath(QStringLiteral("astronaut.png")));
    QVERIFY(removeBackground(portrait));
    QCOMPARE(m_view->toast(), QStringLiteral("Background removed"));
    QVERIFY(m_view->backgroundRemoved() && m_view->canvas().showsCheckerboard());
    QCOMPARE(m_view->baseImage().size(), portrait.size());

    // On screen the sky's corner shows grey cells; the exported image is clear there and
    // keeps the astronaut.
    const QImage shown = m_view->canvas().grab().toImage();
    const QColor corner = shown.pixelColor(4, 4);
    QVERIFY(corner.alpha() == 255 && corner.saturation() < 20 && corner.lightness() > 150);
    const QImage exported = m_view->flattenedImage();
    QCOMPARE(exported.pixelColor(5, 5).alpha(), 0);
    QCOMPARE(exported.pixelColor(200, 300), portrait.pixelColor(200, 300));
}

void EditorBackgroundRemovalTest::aScreenshotHasNoSubject() {
    const QImage screenshot = test::settingsScreenshot();
    QVERIFY(!removeBackground(screenshot));
    QCOMPARE(m_view->toast(), QStringLiteral("No subject to lift — works on photos, not flat UI"));
    QVERIFY(!m_view->canvas().showsCheckerboard());
    QCOMPARE(m_view->baseImage(), screenshot);
}

QTEST_MAIN(EditorBackgroundRemovalTest)
#include "EditorBackgroundRemovalTest.moc"
