#pragma once

#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include "segmentation/ModelFiles.h"

// Real images for the segmentation tests: photos that scripts/fetch-models.sh unpacks
// next to the networks, and interface screenshots drawn here.
namespace ivra::test {

inline QString photoPath(const QString& name) {
    return QDir(segmentation::modelDirectory()).filePath(QStringLiteral("photos/") + name);
}

// Empty when everything is there, else why the test cannot run.
inline QString missingSegmentationFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (!QFile::exists(file)) {
            return QStringLiteral("%1 is missing: run scripts/fetch-models.sh").arg(file);
        }
    }
    return {};
}

// A settings window: title bar, side bar, form rows, buttons; flat colours and text.
inline QImage settingsScreenshot() {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(QColor(236, 236, 238));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, 1280, 36, QColor(52, 54, 60));
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 11));
    p.drawText(QRect(0, 0, 1280, 36), Qt::AlignCenter, QStringLiteral("Preferences"));
    p.fillRect(0, 36, 260, 764, QColor(246, 246, 248));
    const QStringList sections = {"General", "Shortcuts",  "Capture",       "Recording",
                                  "Library", "Appearance", "Notifications", "Advanced"};
    for (int i = 0; i < sections.size(); ++i) {
        const QRect row(12, 56 + i * 40, 236, 32);
        if (i == 2) {
            p.setBrush(QColor(74, 158, 255));
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(row, 6, 6);
        }
        p.setPen(i == 2 ? Qt::white : QColor(30, 30, 30));
        p.drawText(row.adjusted(12, 0, 0, 0), Qt::AlignVCenter, sections[i]);
    }
    for (int i = 0; i < 9; ++i) {
        const int y = 70 + i * 64;
        p.setPen(QColor(30, 30, 30));
        p.drawText(300, y + 20, QStringLiteral("Setting number %1 with a longer label").arg(i));
        p.setPen(QColor(190, 190, 195));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRect(820, y, 380, 32), 5, 5);
        p.setPen(QColor(90, 90, 90));
        p.drawText(QRect(832, y, 360, 32), Qt::AlignVCenter, QStringLiteral("Value %1").arg(i * 7));
    }
    p.setBrush(QColor(74, 158, 255));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(1080, 730, 120, 36), 6, 6);
    p.setPen(Qt::white);
    p.drawText(QRect(1080, 730, 120, 36), Qt::AlignCenter, QStringLiteral("Apply"));
    return image;
}

// A terminal full of monospaced text on a dark background.
inline QImage terminalScreenshot() {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(QColor(24, 24, 28));
    QPainter p(&image);
    p.fillRect(0, 0, 1280, 30, QColor(48, 48, 52));
    p.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 11));
    const QStringList lines = {
        "$ cmake --build build -j2",
        "[ 12%] Building CXX object src/imageio/CMakeFiles/ivra_imageio.dir/ImageCodec.cpp.o",
        "[ 25%] Linking CXX static library libivra_imageio.a",
        "$ ls -la",
        "drwxr-xr-x  9 user user  4096 Dec  7 01:00 .",
        "-rw-r--r--  1 user user  1042 Dec  7 01:00 CMakeLists.txt",
        "-rw-r--r--  1 user user 35149 Dec  7 01:00 LICENSE",
        "$ git log --oneline | head -3",
        "d7d7f2f Background removal with the on-device subject network",
        "b84f030 Fetch and convert the segmentation networks"};
    for (int i = 0; i < 38; ++i) {
        p.setPen(i % 4 == 0 ? QColor(120, 220, 120) : QColor(220, 220, 220));
        p.drawText(12, 52 + i * 20, lines[i % lines.size()]);
    }
    return image;
}

} // namespace ivra::test
