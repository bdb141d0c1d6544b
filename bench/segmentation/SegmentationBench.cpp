// Background removal and the blurred camera picture with the real networks:
//   cutout_first       the first 1080p cutout after start-up, reading the network included
//   cutout_1080p       later 1080p cutouts (median)
//   cutout_peak_rss    the process's peak memory after the cutouts
//   camera_blur_720p   one 1280 × 720 camera frame: person mask, blur, blend (median), on a
//                      photo and on a generated frame
//   camera_submit_720p the UI thread's share of a frame handed to the renderer (median and
//                      largest)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QThread>

#include "BenchSupport.h"
#include "recording/camera/BlurredCameraRenderer.h"
#include "segmentation/ModelFiles.h"
#include "segmentation/PersonSegmenter.h"
#include "segmentation/SubjectBackgroundRemover.h"

using namespace ivra;
using namespace ivra::segmentation;

namespace {

double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

QImage generatedFrame(int i) {
    QImage frame(1280, 720, QImage::Format_RGB32);
    frame.fill(QColor(80, 90, 110));
    QPainter p(&frame);
    p.setBrush(QColor(200, 170, 140));
    p.drawEllipse(QPoint(640 + i % 20, 300), 120, 150);
    p.fillRect(420, 460, 440, 260, QColor(40, 60, 120));
    return frame;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString photoPath =
        QDir(modelDirectory()).filePath(QStringLiteral("photos/astronaut.png"));
    const QImage photo(photoPath);
    if (photo.isNull() || !QFile::exists(subjectMaskModelPath()) ||
        !QFile::exists(personMaskModelPath())) {
        std::fprintf(stderr,
                     "segmentation bench: networks or photos missing in %s; run "
                     "scripts/fetch-models.sh\n",
                     qPrintable(modelDirectory()));
        return 1;
    }

    const QImage still = photo.scaled(1920, 1080).convertToFormat(QImage::Format_RGB32);
    SubjectBackgroundRemover remover(subjectMaskModelPath());
    bench::report("cutout_first", bench::medianMs(1, [&] { (void)remover.cutout(still); }), "ms");
    bench::report("cutout_1080p", bench::medianMs(3, [&] { (void)remover.cutout(still); }), "ms");
    bench::report("cutout_peak_rss", peakRssMb(), "MB");

    BlurredCameraRenderer renderer(std::make_shared<PersonSegmenter>(personMaskModelPath()));
    const QImage cameraPhoto = photo.scaled(1280, 720).convertToFormat(QImage::Format_RGB32);
    (void)renderer.render(cameraPhoto); // reads the network
    bench::report("camera_blur_720p",
                  bench::medianMs(40, [&] { (void)renderer.render(cameraPhoto); }), "ms");
    int i = 0;
    bench::report("camera_blur_720p_generated",
                  bench::medianMs(40, [&] { (void)renderer.render(generatedFrame(++i)); }), "ms");

    // Frames at 30 per second through the worker: the UI thread only hands them over.
    std::vector<double> submitMs;
    for (int frame = 0; frame < 60; ++frame) {
        const QImage next = generatedFrame(frame);
        const auto start = std::chrono::steady_clock::now();
        renderer.submit(next);
        const auto end = std::chrono::steady_clock::now();
        submitMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        QCoreApplication::processEvents();
        QThread::msleep(33);
    }
    bench::report("camera_submit_720p_max", *std::max_element(submitMs.begin(), submitMs.end()),
                  "ms");
    bench::report("camera_submit_720p", bench::median(submitMs), "ms");
    std::printf("(%d of 60 frames dropped at 30 fps)\n", renderer.droppedFrames());
    return 0;
}
