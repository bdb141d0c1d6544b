#include <atomic>
#include <thread>

#include <QPainter>
#include <QTest>
#include <QThread>

#include "recording/camera/BlurredCameraRenderer.h"
#include "recording/camera/CameraFrameSource.h"
#include "segmentation/ModelFiles.h"
#include "segmentation/PersonSegmenter.h"

using namespace ivra;
using ivra::segmentation::PersonSegmenter;

namespace {

// A sharp pattern: one-pixel stripes that any blur turns into a flat grey.
QImage stripes(QSize size) {
    QImage frame(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            row[x] = (x + y) % 2 ? qRgb(250, 250, 250) : qRgb(10, 10, 10);
        }
    }
    return frame;
}

QImage flatMask(int width, int height, int level) {
    QImage mask(width, height, QImage::Format_Grayscale8);
    mask.fill(level);
    return mask;
}

// How far a pixel is from its right-hand neighbour: large on sharp stripes, ~0 blurred.
int contrastAt(const QImage& image, int x, int y) {
    return std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x + 1, y)));
}

// Frames made by the test, pushed from a thread of their own like a camera's.
class GeneratedFrameSource final : public CameraFrameSource {
public:
    void setFrameHandler(FrameHandler handler) override {
        const std::lock_guard lock(m_mutex);
        m_handler = std::move(handler);
    }
    void push(const QImage& frame) {
        const std::lock_guard lock(m_mutex);
        if (m_handler) {
            m_handler(frame);
        }
    }

private:
    std::mutex m_mutex;
    FrameHandler m_handler;
};

} // namespace

class BlurredCameraRendererTest : public QObject {
    Q_OBJECT

private slots:
    void theMaskDecidesWhatStaysSharp();
    void aMaskOfAnotherSizeIsStretchedToTheFrame();
    void edgesOfTheBlurDoNotDarken();
    void withoutAMaskTheFrameIsShownUnblurred();
    void aFrameWithoutAPersonIsBlurredEverywhere();
    void framesArriveOnTheUiThreadAndLateOnesAreDropped();
};

void BlurredCameraRendererTest::theMaskDecidesWhatStaysSharp() {
    const QImage frame = stripes(QSize(160, 120));
    const QImage person = BlurredCameraRenderer::composite(frame, flatMask(16, 9, 255));
    QCOMPARE(person.convertToFormat(QImage::Format_RGB32), frame);

    const QImage background = BlurredCameraRenderer::composite(frame, flatMask(16, 9, 0));
    QCOMPARE(background.size(), frame.size());
    for (const QPoint at : {QPoint(0, 0), QPoint(80, 60), QPoint(158, 119)}) {
        QVERIFY2(contrastAt(background, at.x(), at.y()) < 8,
                 qPrintable(QStringLiteral("sharp at %1,%2").arg(at.x()).arg(at.y())));
    }
}

void BlurredCameraRendererTest::aMaskOfAnotherSizeIsStretchedToTheFrame() {
    // A square 20 × 20 mask, person in its top-left block (10 columns, 5 rows), over a
    // 300 × 100 frame: stretched in each direction on its own, the block covers x < 150,
    // y < 25. Scaled by one factor and centred, it would cover another part or none.
    QImage mask = flatMask(20, 20, 0);
    for (int y = 0; y < 5; ++y) {
        std::memset(mask.scanLine(y), 255, 10);
    }
    const QImage picture = BlurredCameraRenderer::composite(stripes(QSize(300, 100)), mask);
    QVERIFY(contrastAt(picture, 10, 5) > 200);
    QVERIFY(contrastAt(picture, 130, 15) > 200);
    for (const QPoint blurred : {QPoint(170, 15), QPoint(130, 35), QPoint(280, 90)}) {
        QVERIFY2(contrastAt(picture, blurred.x(), blurred.y()) < 8,
                 qPrintable(QStringLiteral("sharp at %1,%2").arg(blurred.x()).arg(blurred.y())));
    }
}

void BlurredCameraRendererTest::edgesOfTheBlurDoNotDarken() {
    // Left half dark blue, right half orange: near the frame's edges the blur repeats the
    // border pixels instead of mixing in black.
    QImage frame(240, 120, QImage::Format_RGB32);
    QPainter(&frame).fillRect(0, 0, 120, 120, QColor(20, 40, 200));
    QPainter(&frame).fillRect(120, 0, 120, 120, QColor(250, 160, 30));
    const QImage picture = BlurredCameraRenderer::composite(frame, flatMask(8, 8, 0));
    QCOMPARE(picture.pixelColor(0, 0), QColor(20, 40, 200));
    QCOMPARE(picture.pixelColor(239, 119), QColor(250, 160, 30));
    QCOMPARE(picture.pixelColor(239, 0), QColor(250, 160, 30));
    // Across the boundary the blur follows a Gaussian of sigma 12: one sigma to either
    // side, 16 % and 84 % of the way from one colour to the other.
    for (const auto& [x, share] :
         {std::pair{108, 0.16}, std::pair{120, 0.5}, std::pair{132, 0.84}}) {
        const int expected = qRound(20 + share * (250 - 20));
        const int red = picture.pixelColor(x, 60).red();
        QVERIFY2(std::abs(red - expected) <= 12,
                 qPrintable(
                     QStringLiteral("red %1 at x %2, expected %3").arg(red).arg(x).arg(expected)));
    }
}

void BlurredCameraRendererTest::withoutAMaskTheFrameIsShownUnblurred() {
    const QImage frame = stripes(QSize(64, 48));
    QCOMPARE(BlurredCameraRenderer::composite(frame, std::nullopt), frame);

    // A segmenter whose network is missing makes no mask.
    const BlurredCameraRenderer renderer(
        std::make_shared<PersonSegmenter>(QStringLiteral("/nonexistent/person-mask.onnx")));
    QCOMPARE(renderer.render(frame), frame);
}

void BlurredCameraRendererTest::aFrameWithoutAPersonIsBlurredEverywhere() {
    const QString model = segmentation::personMaskModelPath();
    if (!QFile::exists(model)) {
        QSKIP(qPrintable(QStringLiteral("%1 is missing: run scripts/fetch-models.sh").arg(model)));
    }
    // Striped wallpaper with a few flat boxes: nothing like a person.
    QImage frame = stripes(QSize(640, 360));
    QPainter painter(&frame);
    painter.fillRect(40, 40, 160, 90, QColor(90, 140, 60));
    painter.fillRect(420, 200, 180, 120, QColor(200, 200, 220));
    painter.end();

    const BlurredCameraRenderer renderer(std::make_shared<PersonSegmenter>(model));
    const QImage picture = renderer.render(frame);
    QCOMPARE(picture.size(), frame.size());
    int sharp = 0;
    for (int y = 0; y < frame.height(); y += 7) {
        for (int x = 0; x < frame.width() - 1; x += 7) {
            sharp += contrastAt(picture, x, y) > 60 ? 1 : 0;
        }
    }
    QVERIFY2(sharp < 20, qPrintable(QStringLiteral("%1 sharp samples").arg(sharp)));
}

void BlurredCameraRendererTest::framesArriveOnTheUiThreadAndLateOnesAreDropped() {
    GeneratedFrameSource source;
    auto bubble = std::make_unique<QObject>();
    std::atomic<int> shown = 0;
    std::atomic<bool> offUiThread = false;
    QThread* const uiThread = QThread::currentThread();
    {
        BlurredCameraRenderer renderer(
            std::make_shared<PersonSegmenter>(segmentation::personMaskModelPath()));
        renderer.attach(source, bubble.get(), [&](const QImage& picture) {
            offUiThread = offUiThread || QThread::currentThread() != uiThread;
            QCOMPARE(picture.size(), QSize(320, 180));
            ++shown;
        });

        // A camera at full speed: 30 frames pushed as fast as they come.
        std::thread camera([&source] {
            for (int i = 0; i < 30; ++i) {
                source.push(stripes(QSize(320, 180)));
            }
        });
        camera.join();
        QTRY_VERIFY(shown > 0);
        QVERIFY(renderer.droppedFrames() > 0);
        QVERIFY(!offUiThread);

        // The bubble is gone: a frame still in the works goes nowhere.
        const int before = shown;
        bubble.reset();
        source.push(stripes(QSize(320, 180)));
        QTest::qWait(300);
        QCOMPARE(shown.load(), before);
    }
    // The renderer is gone and took its handler with it: the camera may go on.
    source.push(stripes(QSize(320, 180)));
}

QTEST_GUILESS_MAIN(BlurredCameraRendererTest)
#include "BlurredCameraRendererTest.moc"
