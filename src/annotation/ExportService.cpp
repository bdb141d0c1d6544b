#include "annotation/ExportService.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>

#include "annotation/SaveDialog.h"
#include "imageio/AtomicFile.h"
#include "imageio/ImageCodec.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

constexpr QStringView kDisallowedInNames = u"/\\:*?\"<>|";

// Fixed-format date fields: plain ASCII digits, never the user's locale.
QString formatDate(const QDateTime& time) {
    const QDate date = time.date();
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

QString formatTime(const QDateTime& time) {
    const QTime clock = time.time();
    return QString::asprintf("%02d.%02d.%02d", clock.hour(), clock.minute(), clock.second());
}

bool isSpaceOrTab(QChar c) {
    return c == u' ' || c == u'\t';
}

void callLater(std::function<void(bool)> completion, bool result) {
    if (!completion) {
        return;
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [completion = std::move(completion), result] { completion(result); },
            Qt::QueuedConnection);
    } else {
        completion(result);
    }
}

} // namespace

ExportService::ExportService(SettingsStore& settings, SaveDialog* saveDialog)
    : m_settings(settings)
    , m_saveDialog(saveDialog) {
}

QString ExportService::renderTemplate(const QString& nameTemplate, const QDateTime& date,
                                      const QString& appName, const QTimeZone& timeZone,
                                      const QString& fileExtension) {
    const QDateTime local = timeZone.isValid() ? date.toTimeZone(timeZone) : date.toLocalTime();
    const QString dateText = formatDate(local);
    const QString timeText = formatTime(local);

    QString name = nameTemplate;
    name.replace(QLatin1String("{date}"), dateText);
    name.replace(QLatin1String("{time}"), timeText);
    name.replace(QLatin1String("{app}"), appName);
    for (QChar& c : name) {
        if (kDisallowedInNames.contains(c)) {
            c = u'-';
        }
    }
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isSpaceOrTab(name[begin])) {
        ++begin;
    }
    while (end > begin && isSpaceOrTab(name[end - 1])) {
        --end;
    }
    name = name.mid(begin, end - begin);
    if (name.isEmpty()) {
        name = QStringLiteral("Screenshot ") + dateText + u' ' + timeText;
    }
    return name + u'.' + fileExtension;
}

QString ExportService::fileExtension(ExportFormat format) {
    return format == ExportFormat::Jpeg ? QStringLiteral("jpg") : QStringLiteral("png");
}

std::optional<QByteArray> ExportService::encode(const QImage& image, const QString& extension,
                                                double jpegQuality) {
    const QString lower = extension.toLower();
    if (lower == u"jpg" || lower == u"jpeg") {
        // JPEG has no alpha: the encoder lays translucent pixels over white, as any viewer
        // would show them.
        return imageio::encodeJpeg(image, jpegQuality);
    }
    return imageio::encodePng(image);
}

bool ExportService::write(const QImage& image, const QString& path) const {
    const auto bytes = encode(image, QFileInfo(path).suffix(), m_settings.jpegQuality());
    return bytes && imageio::writeFileReplacing(path, *bytes);
}

std::optional<QString> ExportService::saveToChosenFolder(const QImage& image,
                                                         const QString& suggestedName) const {
    // The name is a single file name inside the folder, whatever the caller passed.
    QString name = suggestedName;
    name.replace(u'/', u'-');
    const QFileInfo info(name);
    const QString baseName = info.completeBaseName();
    const QString extension = info.suffix();
    if (baseName.isEmpty()) {
        return std::nullopt;
    }
    const auto bytes = encode(image, extension, m_settings.jpegQuality());
    if (!bytes) {
        return std::nullopt;
    }
    const QString folder = m_settings.resolveSaveFolderForWriting();
    return imageio::writeNewFile(folder, baseName, extension, *bytes);
}

void ExportService::save(const QImage& image, const QString& suggestedName, bool useSaveDialog,
                         std::function<void(bool)> completion) const {
    if (!useSaveDialog && m_settings.hasUserSaveDestination()) {
        callLater(std::move(completion), saveToChosenFolder(image, suggestedName).has_value());
        return;
    }
    bool written = false;
    if (m_saveDialog) {
        if (const auto path = m_saveDialog->askForPath(suggestedName, m_settings.exportFormat())) {
            written = write(image, *path);
        }
    }
    callLater(std::move(completion), written);
}

} // namespace ivra
