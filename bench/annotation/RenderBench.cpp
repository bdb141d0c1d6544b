#include <QGuiApplication>
#include <QPainter>

#include "BenchSupport.h"
#include "SampleScene.h"
#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationRenderView.h"

using namespace ivra;

// The canvas redraws on every mouse move of a drag, and flattening runs on every copy,
// save and pin. A 4K capture shown at 1920 × 1080 (2 image pixels per point), 200 marks of
// all nine tools, 20 of them 300 × 200 pixel blurs.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    constexpr int kWidth = 3840;
    constexpr int kHeight = 2160;
    const QImage base = bench::sampleScreenshot(kWidth, kHeight);
    AnnotationRenderView view{
        base, bench::sampleAnnotations(kWidth, kHeight, 200, 20, QSizeF(300, 200), 2.0),
        std::nullopt, false};
    const QList<Annotation> finished = view.annotations;
    RenderCache& cache = RenderCache::shared();

    QImage screen(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    // One frame of a drag: an arrow whose tip follows the pointer.
    const auto dragFrame = [&] {
        ++step;
        view.draft = Annotation::makeDrawn(AnnotationTool::Arrow, {400, 400},
                                           {400.0 + (step % 500) * 6, 300.0 + (step % 300) * 4},
                                           AnnotationColor::Red, 3, 2);
        screen.fill(Qt::transparent);
        QPainter painter(&screen);
        view.draw(painter, screen.rect());
    };
    dragFrame(); // the first frame reduces the image and blurs the regions once

    const double drag = bench::medianMs(61, dragFrame);
    // Every frame from scratch: blurs computed and the whole list drawn.
    const double uncached = bench::medianMs(15, [&] {
        cache.clearBlurredRegions();
        dragFrame();
    });
    // The frame right after a mark was appended: drawn on from the kept frame.
    const double appended = bench::medianMs(15, [&] {
        view.annotations.append(*view.draft);
        dragFrame();
    });
    // A frame with nothing kept (first showing, resize, background removed): the whole
    // list is drawn, with the blurred regions still known.
    view.annotations = finished;
    const double full = bench::medianMs(15, [&] {
        cache.clearFrames();
        dragFrame();
    });
    view.annotations = finished;
    bench::report("render_frame_200", drag, "ms");
    bench::report("render_frame_200_uncached", uncached, "ms");
    bench::report("render_cache_gain", uncached / drag, "x");
    bench::report("render_frame_200_appended", appended, "ms");
    bench::report("render_frame_200_full", full, "ms");

    // Dragging a blur region from 300 × 200 out to 1500 × 1000 image pixels: the region
    // being dragged is blurred on every frame.
    int growth = 0;
    const double blurDrag = bench::medianMs(61, [&] {
        ++growth;
        view.draft = Annotation::makeDrawn(AnnotationTool::Blur, {1200, 700},
                                           {1500.0 + growth * 20, 900.0 + growth * 13},
                                           AnnotationColor::Red, 3, 2);
        screen.fill(Qt::transparent);
        QPainter painter(&screen);
        view.draw(painter, screen.rect());
    });
    bench::report("render_frame_blur_drag", blurDrag, "ms");

    // After editing, the blurred regions are already known from the screen.
    dragFrame();
    const double flatten =
        bench::medianMs(11, [&] { (void)AnnotationExporter::composite(base, finished); });
    const double flattenCold = bench::medianMs(7, [&] {
        cache.clearBlurredRegions();
        (void)AnnotationExporter::composite(base, finished);
    });
    bench::report("flatten_4k_200", flatten, "ms");
    bench::report("flatten_4k_200_cold", flattenCold, "ms");
    return 0;
}
