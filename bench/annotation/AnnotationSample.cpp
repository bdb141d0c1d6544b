#include <cstdio>

#include <QDir>
#include <QGuiApplication>
#include <QPainter>

#include "SampleScene.h"
#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationRenderView.h"
#include "imageio/AtomicFile.h"
#include "imageio/ImageCodec.h"

using namespace ivra;

namespace {

Annotation drawn(AnnotationTool tool, QPointF from, QPointF to, AnnotationColor color,
                 double width = 3) {
    return Annotation::makeDrawn(tool, from, to, color, width, 1);
}

bool writePng(const QImage& image, const QString& path) {
    const auto bytes = imageio::encodePng(image);
    return bytes && imageio::writeFileReplacing(path, *bytes);
}

} // namespace

// Writes a flattened sample with every tool, and the same scene as the canvas shows it at
// half size over a checkerboard, for looking at: `annotation_sample <folder>`.
int main(int argc, char** argv) {
    // A tool that draws into files: it needs no display, so it never asks for one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: annotation_sample <output folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QImage base = bench::sampleScreenshot(1200, 800);

    QList<Annotation> marks;
    Annotation pencil = drawn(AnnotationTool::Pencil, {60, 80}, {60, 80}, AnnotationColor::Red);
    pencil.points.clear();
    for (int i = 0; i <= 40; ++i) {
        pencil.points.append(QPointF(60 + i * 6, 80 + 30 * std::sin(i / 4.0)));
    }
    marks.append(pencil);
    Annotation highlight = drawn(AnnotationTool::Highlight, {}, {}, AnnotationColor::Yellow, 5);
    highlight.points = {{380, 60}, {700, 60}, {540, 140}, {540, 20}};
    marks.append(highlight);
    marks.append(drawn(AnnotationTool::Line, {760, 40}, {1150, 120}, AnnotationColor::Green, 5));
    marks.append(drawn(AnnotationTool::Arrow, {80, 260}, {380, 200}, AnnotationColor::Red, 2));
    marks.append(drawn(AnnotationTool::Arrow, {420, 300}, {700, 200}, AnnotationColor::Blue, 8));
    marks.append(drawn(AnnotationTool::Arrow, {900, 180}, {800, 330}, AnnotationColor::Black, 3));
    marks.append(drawn(AnnotationTool::Rect, {60, 360}, {360, 520}, AnnotationColor::Orange));
    marks.append(drawn(AnnotationTool::Rect, {380, 360}, {380, 520}, AnnotationColor::Red, 5));
    marks.append(drawn(AnnotationTool::Ellipse, {420, 360}, {700, 520}, AnnotationColor::Blue));
    // A blur over part of the text of a window, with a later mark drawn on top of it.
    marks.append(drawn(AnnotationTool::Blur, {740, 380}, {1140, 560}, AnnotationColor::Red));
    marks.append(drawn(AnnotationTool::Line, {720, 470}, {1160, 470}, AnnotationColor::Green, 2));
    marks.append(drawn(AnnotationTool::Blur, {0, 700}, {200, 800}, AnnotationColor::Red, 8));
    marks.append(
        *Annotation::makeText({60, 560}, "Semibold label, 15 px", AnnotationColor::White, 3, 1));
    marks.append(*Annotation::makeText({60, 600}, "Large label 40 px", AnnotationColor::Red, 8, 1));
    const std::array<AnnotationColor, 7> badgeColors = kPalette;
    for (int i = 0; i < 7; ++i) {
        marks.append(
            Annotation::makeStep({480.0 + i * 70, 640}, i + 1, badgeColors[size_t(i)], 3, 1));
    }
    marks.append(Annotation::makeStep({480, 740}, 12, AnnotationColor::Blue, 3, 1));
    marks.append(Annotation::makeStep({580, 740}, 3, AnnotationColor::Green, 8, 1));

    const QImage flattened = AnnotationExporter::composite(base, marks);
    QImage transparent = base.convertToFormat(QImage::Format_ARGB32);
    {
        QPainter punch(&transparent);
        punch.setCompositionMode(QPainter::CompositionMode_Clear);
        punch.fillRect(QRect(900, 600, 300, 200), Qt::transparent);
    }
    QImage screen(600, 400, QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::transparent);
    {
        QPainter painter(&screen);
        AnnotationRenderView{transparent, marks, std::nullopt, true}.draw(painter, screen.rect());
    }
    const bool ok = writePng(flattened, folder.filePath("annotation-sample.png")) &&
                    writePng(screen, folder.filePath("annotation-sample-canvas.png"));
    std::printf("%s\n", ok ? "written" : "failed");
    return ok ? 0 : 1;
}
