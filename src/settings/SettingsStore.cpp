#include "settings/SettingsStore.h"

#include <cmath>
#include <string_view>

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

namespace {

std::optional<int> parseInt(const QVariant& v) {
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

std::optional<double> parseDouble(const QVariant& v) {
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

std::optional<QString> parseText(const QVariant& v) {
    if (v.typeId() == QMetaType::QString) {
        return v.toString();
    }
    return std::nullopt;
}

// The table's default of a key, in its stored text form.
QVariant defaultOf(const char* key) {
    for (const auto& definition : SettingsStore::kDefinitions) {
        if (std::string_view(definition.key) == key && definition.defaultValue) {
            return QString::fromUtf8(definition.defaultValue);
        }
    }
    Q_ASSERT_X(false, "SettingsStore", "key without a default in the table");
    return {};
}

} // namespace

std::optional<bool> SettingsStore::readBool(const QString& name) const {
    return parseBool(m_defaults->value(name));
}

std::optional<int> SettingsStore::readInt(const QString& name) const {
    return parseInt(m_defaults->value(name));
}

std::optional<double> SettingsStore::readDouble(const QString& name) const {
    return parseDouble(m_defaults->value(name));
}

std::optional<QString> SettingsStore::readText(const QString& name) const {
    return parseText(m_defaults->value(name));
}

std::optional<QByteArray> SettingsStore::readData(const QString& name) const {
    const QVariant v = m_defaults->value(name);
    if (v.typeId() == QMetaType::QByteArray) {
        return v.toByteArray();
    }
    return std::nullopt;
}

// Defaults go through the same parsing as stored values, so the table holds them in one
// form only.
bool SettingsStore::yesNo(const char* name) const {
    return readBool(key(name)).value_or(parseBool(defaultOf(name)).value_or(false));
}

int SettingsStore::integer(const char* name) const {
    return readInt(key(name)).value_or(parseInt(defaultOf(name)).value_or(0));
}

double SettingsStore::real(const char* name) const {
    return readDouble(key(name)).value_or(parseDouble(defaultOf(name)).value_or(0));
}

QString SettingsStore::text(const char* name) const {
    return readText(key(name)).value_or(defaultOf(name).toString());
}

// A stored raw text that matches no case reads as the table's default case.
template <typename E> E SettingsStore::choice(const char* name) const {
    if (const auto stored = readText(key(name))) {
        if (const auto value = fromRawValue<E>(*stored)) {
            return *value;
        }
    }
    return *fromRawValue<E>(defaultOf(name).toString());
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
    return text(Keys::filenameTemplate);
}

ExportFormat SettingsStore::exportFormat() const {
    return choice<ExportFormat>(Keys::exportFormat);
}

double SettingsStore::jpegQuality() const {
    return real(Keys::jpegQuality);
}

std::optional<int> SettingsStore::retentionLimit() const {
    const int limit = integer(Keys::retentionLimit);
    if (limit < 0) {
        return std::nullopt;
    }
    return limit;
}

void SettingsStore::setRetentionLimit(std::optional<int> limit) {
    setInt(Keys::retentionLimit, limit.value_or(-1));
}

bool SettingsStore::playSoundOnCapture() const {
    return yesNo(Keys::playSoundOnCapture);
}

bool SettingsStore::showCursorInCapture() const {
    return yesNo(Keys::showCursorInCapture);
}

int SettingsStore::countdownSeconds() const {
    return integer(Keys::countdownSeconds);
}

AfterCaptureAction SettingsStore::afterCaptureAction() const {
    return choice<AfterCaptureAction>(Keys::afterCaptureAction);
}

bool SettingsStore::autoCopyOnCapture() const {
    return yesNo(Keys::autoCopyOnCapture);
}

bool SettingsStore::showInDock() const {
    return yesNo(Keys::showInDock);
}

QString SettingsStore::appIconStyle() const {
    return text(Keys::appIconStyle);
}

// Global shortcuts ------------------------------------------------------------------

bool SettingsStore::isHotKeyEnabled(CaptureAction action) const {
    return readBool(Keys::hotKeyEnabled(action)).value_or(action == CaptureAction::Area);
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
    return choice<RecordingTarget>(Keys::recordingTarget);
}

void SettingsStore::setRecordingTarget(RecordingTarget target) {
    setText(Keys::recordingTarget, rawValue(target));
}

RecordingQuality SettingsStore::recordingQuality() const {
    return choice<RecordingQuality>(Keys::recordingQuality);
}

void SettingsStore::setRecordingQuality(RecordingQuality quality) {
    setText(Keys::recordingQuality, rawValue(quality));
}

bool SettingsStore::showCameraBubble() const {
    return yesNo(Keys::recordingShowCameraBubble);
}

void SettingsStore::setShowCameraBubble(bool show) {
    setBool(Keys::recordingShowCameraBubble, show);
}

BubbleBorderColor SettingsStore::bubbleBorderColor() const {
    return choice<BubbleBorderColor>(Keys::recordingBubbleColor);
}

void SettingsStore::setBubbleBorderColor(BubbleBorderColor color) {
    setText(Keys::recordingBubbleColor, rawValue(color));
}

bool SettingsStore::recordingBlurBackground() const {
    return yesNo(Keys::recordingBlurBackground);
}

bool SettingsStore::recordingNoiseReduction() const {
    return yesNo(Keys::recordingNoiseReduction);
}

bool SettingsStore::recordingSystemAudio() const {
    return yesNo(Keys::recordingSystemAudio);
}

QString SettingsStore::recordingCameraDeviceID() const {
    return text(Keys::recordingCameraDeviceID);
}

QString SettingsStore::recordingMicDeviceID() const {
    return text(Keys::recordingMicDeviceID);
}

} // namespace ivra
