#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QTimeZone>

#include "settings/SettingsEnums.h"

namespace ivra {

class SaveDialog;
class SettingsStore;

// Turns an image into the file the user asked for: names from the file-name template,
// PNG or JPEG bytes, and a save into the chosen folder or through a save dialog. Holds no
// state of its own beyond the settings it reads and the dialog it may show.
class ExportService {
public:
    // `saveDialog` may be null: then saving never asks and fails where it would have to.
    explicit ExportService(SettingsStore& settings, SaveDialog* saveDialog = nullptr);

    // A file name from a template: "{date}" → 2026-12-05, "{time}" → 09.07.03 (24-hour),
    // "{app}" → `appName` (or nothing), each replaced wherever it occurs and case-sensitively;
    // then each of / \ : * ? " < > | becomes "-", spaces and tabs are trimmed from both ends,
    // an empty result becomes "Screenshot <date> <time>", and "." + `fileExtension` is
    // appended. Digits and calendar are fixed (Western, Gregorian) whatever the user's
    // locale; the clock is read in `timeZone`.
    static QString renderTemplate(const QString& nameTemplate, const QDateTime& date,
                                  const QString& appName, const QTimeZone& timeZone,
                                  const QString& fileExtension);

    // "jpg" for JPEG, "png" for PNG: the extension callers give saved images.
    static QString fileExtension(ExportFormat format);

    // JPEG when `extension` is jpg or jpeg in any case, else PNG. Nothing when encoding fails.
    static std::optional<QByteArray> encode(const QImage& image, const QString& extension,
                                            double jpegQuality);

    // Writes the image to `path`, replacing a file already there; the format follows the
    // path's extension, not the export-format setting. Atomic: a failed write leaves no
    // partial file under `path`. True when the file was written.
    bool write(const QImage& image, const QString& path) const;

    // Saves straight into the user's chosen folder when `useSaveDialog` is false and a folder
    // has been chosen, else through the save dialog. A direct save never replaces a file:
    // a taken name gets " (2)", " (3)", … (two saves in one second share a template name).
    // `completion` gets true when a file was written and is always called later, from the
    // event loop of the application's thread, never from inside save().
    void save(const QImage& image, const QString& suggestedName, bool useSaveDialog,
              std::function<void(bool)> completion) const;

    // The direct save itself, synchronous: the path written, or nothing.
    std::optional<QString> saveToChosenFolder(const QImage& image,
                                              const QString& suggestedName) const;

private:
    SettingsStore& m_settings;
    SaveDialog* m_saveDialog;
};

} // namespace ivra
