#include "settings/SettingsStore.h"

#include <cmath>

#include <QStandardPaths>

#include "platform/xdg/FolderBookmark.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/FolderChooser.h"

namespace ivra {

namespace {

QString key(const char* name) {
    return QString::fromLatin1(name);
}

// INI files keep every value as text, so typed values come back as strings; values
// written in this process come back as their own type. Both forms are accepted, and
// nothing else.
std::optional<bool> parseBool(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool) {
        return v.toBool();
    }
    if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray) {
        const QString text = v.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1")) {
            return true;
        }
        if (text == QLatin1String("false") || text == QLatin1String("0")) {
            return false;
        }
    }
    return std::nullopt;
}

} // namespace

RetentionOption retentionOption(std::optional<int> limit) {
    if (!limit) {
        return RetentionOption::Unlimited;
    }
    switch (*limit) {
    case 50:
        return RetentionOption::Fifty;
    case 300:
        return RetentionOption::ThreeHundred;
    default:
        return RetentionOption::OneHundred;
    }
}

std::optional<int> retentionLimit(RetentionOption option) {
    switch (option) {
    case RetentionOption::Fifty:
        return 50;
    case RetentionOption::OneHundred:
        return 100;
    case RetentionOption::ThreeHundred:
        return 300;
    case RetentionOption::Unlimited:
        break;
    }
    return std::nullopt;
}

QString SettingsStore::Keys::hotKey(CaptureAction action) {
    return QStringLiteral("hotKey.") + rawValue(action);
}

QString SettingsStore::Keys::hotKeyEnabled(CaptureAction action) {
    return QStringLiteral("hotKeyEnabled.") + rawValue(action);
}

SettingsStore::SettingsStore(std::shared_ptr<KeyValueStore> defaults)
    : m_defaults(std::move(defaults)) {
}

SettingsStore& SettingsStore::shared() {
    static SettingsStore store(std::make_shared<platform::IniKeyValueStore>());
    return store;
}

// Typed readers -------------------------------------------------------------------

bool SettingsStore::readBool(const QString& name, bool fallback) const {
    return parseBool(m_defaults->value(name)).value_or(fallback);
}

std::optional<int> SettingsStore::readInt(const QString& name) const {
    const QVariant v = m_defaults->value(name);
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
        return v.toInt();
    }
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const int parsed = v.toString().trimmed().toInt(&ok);
        if (ok) {
            return parsed;
        }
    }
    return std::nullopt;
}

std::optional<double> SettingsStore::readDouble(const QString& name) const {
    const QVariant v = m_defaults->value(name);
    bool ok = false;
    double parsed = 0;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int ||
        v.typeId() == QMetaType::LongLong) {
        parsed = v.toDouble(&ok);
    } else if (v.typeId() == QMetaType::QString) {
        parsed = v.toString().trimmed().toDouble(&ok);
    }
    if (!ok || !std::isfinite(parsed)) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<QString> SettingsStore::readText(const QString& name) const {
    const QVariant v = m_defaults->value(name);
    if (v.typeId() == QMetaType::QString) {
        return v.toString();
    }
    return std::nullopt;
}

std::optional<QByteArray> SettingsStore::readData(const QString& name) const {
    const QVariant v = m_defaults->value(name);
    if (v.typeId() == QMetaType::QByteArray) {
        return v.toByteArray();
    }
    return std::nullopt;
}

void SettingsStore::setBool(const char* name, bool value) {
    m_defaults->setValue(key(name), value);
}
void SettingsStore::setInt(const char* name, int value) {
    m_defaults->setValue(key(name), value);
}
void SettingsStore::setDouble(const char* name, double value) {
    m_defaults->setValue(key(name), value);
}
void SettingsStore::setText(const char* name, const QString& value) {
    m_defaults->setValue(key(name), value);
}
void SettingsStore::remove(const char* name) {
    m_defaults->remove(key(name));
}

// Save folder ---------------------------------------------------------------------

QString SettingsStore::saveDirectory() const {
    if (auto path = readText(key(Keys::saveDirectoryPath)); path && !path->isEmpty()) {
        return *path;
    }
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
}

void SettingsStore::setSaveDirectory(const QString& path) {
    m_defaults->setValue(key(Keys::saveDirectoryPath), path);
    if (const auto bookmark = platform::FolderBookmark::create(path)) {
        m_defaults->setValue(key(Keys::saveDirectoryBookmark), *bookmark);
    } else {
        m_defaults->remove(key(Keys::saveDirectoryBookmark));
    }
}

bool SettingsStore::hasUserSaveDestination() const {
    const auto bookmark = readData(key(Keys::saveDirectoryBookmark));
    return bookmark && !bookmark->isEmpty();
}

QString SettingsStore::promptAcceptLabel() {
    return QStringLiteral("Обрати");
}

QString SettingsStore::promptMessage() {
    return QStringLiteral("Де зберігати знімки Ivra? Обери теку — знімки завжди будуть "
                          "доступні тобі у файловому менеджері.");
}

bool SettingsStore::ensureSaveDestination(FolderChooser& chooser) {
    if (hasUserSaveDestination()) {
        return true;
    }
    const auto chosen =
        chooser.chooseFolder({promptAcceptLabel(), promptMessage(),
                              QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)});
    if (!chosen) {
        return false;
    }
    setSaveDirectory(*chosen);
    return hasUserSaveDestination();
}

QString SettingsStore::resolveSaveFolderForWriting() {
    if (const auto bookmark = readData(key(Keys::saveDirectoryBookmark))) {
        if (const auto resolved = platform::FolderBookmark::resolve(*bookmark)) {
            if (resolved->stale) {
                setSaveDirectory(resolved->path);
            }
            return resolved->path;
        }
    }
    return saveDirectory();
}

// Capture and export ------------------------------------------------------------------

QString SettingsStore::filenameTemplate() const {
    return readText(key(Keys::filenameTemplate))
        .value_or(QString::fromLatin1(kDefaultFilenameTemplate));
}

ExportFormat SettingsStore::exportFormat() const {
    const auto text = readText(key(Keys::exportFormat));
    return text ? fromRawValue<ExportFormat>(*text).value_or(ExportFormat::Png) : ExportFormat::Png;
}

double SettingsStore::jpegQuality() const {
    return readDouble(key(Keys::jpegQuality)).value_or(kDefaultJpegQuality);
}

std::optional<int> SettingsStore::retentionLimit() const {
    if (!m_defaults->contains(key(Keys::retentionLimit))) {
        return kDefaultRetentionLimit;
    }
    const auto stored = readInt(key(Keys::retentionLimit));
    if (!stored) {
        return kDefaultRetentionLimit;
    }
    if (*stored < 0) {
        return std::nullopt;
    }
    return *stored;
}

void SettingsStore::setRetentionLimit(std::optional<int> limit) {
    setInt(Keys::retentionLimit, limit.value_or(-1));
}

bool SettingsStore::playSoundOnCapture() const {
    return readBool(key(Keys::playSoundOnCapture), true);
}

bool SettingsStore::showCursorInCapture() const {
    return readBool(key(Keys::showCursorInCapture), false);
}

int SettingsStore::countdownSeconds() const {
    return readInt(key(Keys::countdownSeconds)).value_or(0);
}

AfterCaptureAction SettingsStore::afterCaptureAction() const {
    const auto text = readText(key(Keys::afterCaptureAction));
    return text ? fromRawValue<AfterCaptureAction>(*text).value_or(AfterCaptureAction::Pin)
                : AfterCaptureAction::Pin;
}

bool SettingsStore::autoCopyOnCapture() const {
    return readBool(key(Keys::autoCopyOnCapture), false);
}

bool SettingsStore::showInDock() const {
    return readBool(key(Keys::showInDock), true);
}

QString SettingsStore::appIconStyle() const {
    return readText(key(Keys::appIconStyle)).value_or(QString::fromLatin1(kDefaultAppIconStyle));
}

// Global shortcuts ------------------------------------------------------------------

bool SettingsStore::isHotKeyEnabled(CaptureAction action) const {
    return readBool(Keys::hotKeyEnabled(action), action == CaptureAction::Area);
}

void SettingsStore::setHotKeyEnabled(CaptureAction action, bool enabled) {
    m_defaults->setValue(Keys::hotKeyEnabled(action), enabled);
}

std::optional<QByteArray> SettingsStore::hotKeyData(CaptureAction action) const {
    return readData(Keys::hotKey(action));
}

void SettingsStore::setHotKeyData(CaptureAction action, const QByteArray& json) {
    m_defaults->setValue(Keys::hotKey(action), json);
}

// Recording -----------------------------------------------------------------------------

RecordingTarget SettingsStore::recordingTarget() const {
    const auto text = readText(key(Keys::recordingTarget));
    return text && *text == QLatin1String("area") ? RecordingTarget::Area : RecordingTarget::Screen;
}

void SettingsStore::setRecordingTarget(RecordingTarget target) {
    setText(Keys::recordingTarget, rawValue(target));
}

RecordingQuality SettingsStore::recordingQuality() const {
    const auto text = readText(key(Keys::recordingQuality));
    return text && *text == QLatin1String("high") ? RecordingQuality::High : RecordingQuality::Max;
}

void SettingsStore::setRecordingQuality(RecordingQuality quality) {
    setText(Keys::recordingQuality, rawValue(quality));
}

bool SettingsStore::showCameraBubble() const {
    return readBool(key(Keys::recordingShowCameraBubble), true);
}

void SettingsStore::setShowCameraBubble(bool show) {
    setBool(Keys::recordingShowCameraBubble, show);
}

BubbleBorderColor SettingsStore::bubbleBorderColor() const {
    const auto text = readText(key(Keys::recordingBubbleColor));
    return text ? fromRawValue<BubbleBorderColor>(*text).value_or(BubbleBorderColor::White)
                : BubbleBorderColor::White;
}

void SettingsStore::setBubbleBorderColor(BubbleBorderColor color) {
    setText(Keys::recordingBubbleColor, rawValue(color));
}

bool SettingsStore::recordingBlurBackground() const {
    return readBool(key(Keys::recordingBlurBackground), false);
}

bool SettingsStore::recordingNoiseReduction() const {
    return readBool(key(Keys::recordingNoiseReduction), true);
}

bool SettingsStore::recordingSystemAudio() const {
    return readBool(key(Keys::recordingSystemAudio), false);
}

QString SettingsStore::recordingCameraDeviceID() const {
    return readText(key(Keys::recordingCameraDeviceID)).value_or(QString());
}

QString SettingsStore::recordingMicDeviceID() const {
    return readText(key(Keys::recordingMicDeviceID)).value_or(QString());
}

} // namespace ivra
