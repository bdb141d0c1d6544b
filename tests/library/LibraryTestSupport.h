#pragma once

#include <memory>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "library/CaptureRepository.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

namespace ivra::test {

// A temporary world for one test: a settings file, a save folder chosen by the user (or
// none), and a base folder for a persistent library.
struct LibraryFolders {
    QTemporaryDir root;
    QString saveFolder = root.filePath("Pictures"), baseFolder = root.filePath("Vantrel");
    QString storeFile = root.filePath("Vantrel/Vantrel.store");
    QString settingsFile = root.filePath("Ivra.conf");
    std::unique_ptr<SettingsStore> settings =
        std::make_unique<SettingsStore>(std::make_shared<platform::IniKeyValueStore>(settingsFile));

    explicit LibraryFolders(bool chooseSaveFolder = true) {
        QDir().mkpath(saveFolder);
        if (chooseSaveFolder) {
            settings->setSaveDirectory(saveFolder);
        }
    }
    CaptureRepository open() const { return CaptureRepository(*settings, baseFolder); }
    QStringList capturesInSaveFolder() const {
        return QDir(saveFolder).entryList({"Ivra *.png"}, QDir::Files, QDir::Name);
    }
    // Everything in the save folder, hidden temporary files included.
    QStringList allInSaveFolder() const {
        return QDir(saveFolder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// An opaque image with some structure, so that a wrong row or channel shows.
inline QImage makePicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.drawLine(0, 0, width - 1, height - 1);
    painter.fillRect(width / 4, height / 4, width / 3 + 1, height / 3 + 1, QColor(250, 200, 20));
    return image;
}

// Stores a small capture taken the given number of minutes ago.
inline std::optional<CaptureRecord> storeCapture(CaptureRepository& repository, int minutesAgo = 0,
                                                 const std::optional<QString>& source = {}) {
    return repository.insert(makePicture(16, 16), source,
                             QDateTime::currentDateTime().addSecs(-60 * minutesAgo));
}

} // namespace ivra::test
