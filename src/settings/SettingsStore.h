#pragma once

#include <array>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

#include "settings/KeyValueStore.h"
#include "settings/SettingsEnums.h"

namespace ivra {

class FolderChooser;

// The typed front of every user preference. Nothing is cached: each read goes to the
// key/value store, so a change made by the settings window is seen by the next use.
class SettingsStore {
public:
    // Key names. The table in SettingsStore.cpp gives each key its stored kind and default.
    struct Keys {
        static constexpr const char* saveDirectoryPath = "saveDirectoryPath";
        static constexpr const char* saveDirectoryBookmark = "saveDirectoryBookmark";
        static constexpr const char* filenameTemplate = "filenameTemplate";
        static constexpr const char* exportFormat = "exportFormat";
        static constexpr const char* jpegQuality = "jpegQuality";
        static constexpr const char* retentionLimit = "retentionLimit";
        static constexpr const char* playSoundOnCapture = "playSoundOnCapture";
        static constexpr const char* showCursorInCapture = "showCursorInCapture";
        static constexpr const char* countdownSeconds = "countdownSeconds";
        static constexpr const char* afterCaptureAction = "afterCaptureAction";
        static constexpr const char* autoCopyOnCapture = "autoCopyOnCapture";
        static constexpr const char* showInDock = "showInDock";
        static constexpr const char* appIconStyle = "appIconStyle";
        static constexpr const char* recordingTarget = "recording.target";
        static constexpr const char* recordingQuality = "recording.quality";
        static constexpr const char* recordingShowCameraBubble = "recording.showCameraBubble";
        static constexpr const char* recordingBubbleColor = "recording.bubbleColor";
        static constexpr const char* recordingBlurBackground = "recording.blurBackground";
        static constexpr const char* recordingNoiseReduction = "recording.noiseReduction";
        static constexpr const char* recordingSystemAudio = "recording.systemAudio";
        static constexpr const char* recordingCameraDeviceID = "recording.cameraDeviceID";
        static constexpr const char* recordingMicDeviceID = "recording.micDeviceID";

        static QString hotKey(CaptureAction action);
        static QString hotKeyEnabled(CaptureAction action);
    };

    // How a key's value is stored.
    enum class Kind { Text, Data, Real, Integer, YesNo };

    struct Definition {
        const char* key;
        Kind kind;
        // What an absent key, or a value of the wrong kind, reads as, written the way the
        // store writes it; nothing where the default is computed (the Pictures folder) or
        // is the absence itself (no bookmark).
        const char* defaultValue;
    };

    // The one table of every key (besides the per-action hotkey keys), its stored kind and
    // its default. Readers below take their defaults from here.
    static constexpr std::array<Definition, 22> kDefinitions{{
        {Keys::saveDirectoryPath, Kind::Text, nullptr},
        {Keys::saveDirectoryBookmark, Kind::Data, nullptr},
        {Keys::filenameTemplate, Kind::Text, "Screenshot {date} {time}"},
        {Keys::exportFormat, Kind::Text, "png"},
        {Keys::jpegQuality, Kind::Real, "0.9"},
        {Keys::retentionLimit, Kind::Integer, "100"},
        {Keys::playSoundOnCapture, Kind::YesNo, "true"},
        {Keys::showCursorInCapture, Kind::YesNo, "false"},
        {Keys::countdownSeconds, Kind::Integer, "0"},
        {Keys::afterCaptureAction, Kind::Text, "pin"},
        {Keys::autoCopyOnCapture, Kind::YesNo, "false"},
        {Keys::showInDock, Kind::YesNo, "true"},
        {Keys::appIconStyle, Kind::Text, "neo"},
        {Keys::recordingTarget, Kind::Text, "screen"},
        {Keys::recordingQuality, Kind::Text, "max"},
        {Keys::recordingShowCameraBubble, Kind::YesNo, "true"},
        {Keys::recordingBubbleColor, Kind::Text, "white"},
        {Keys::recordingBlurBackground, Kind::YesNo, "false"},
        {Keys::recordingNoiseReduction, Kind::YesNo, "true"},
        {Keys::recordingSystemAudio, Kind::YesNo, "false"},
        {Keys::recordingCameraDeviceID, Kind::Text, ""},
        {Keys::recordingMicDeviceID, Kind::Text, ""},
    }};

    explicit SettingsStore(std::shared_ptr<KeyValueStore> defaults);

    // The application's store, backed by the INI file under the XDG config folder;
    // created on first use.
    static SettingsStore& shared();

    KeyValueStore& defaults() const { return *m_defaults; }

    // Save folder ------------------------------------------------------------------
    QString saveDirectory() const;
    // Stores the path and a bookmark of the folder; without a bookmark (the folder
    // does not exist) the bookmark key is removed.
    void setSaveDirectory(const QString& path);
    bool hasUserSaveDestination() const;
    // The first-use folder prompt; true when a folder with a bookmark is stored.
    bool ensureSaveDestination(FolderChooser& chooser);
    // The folder writers write into: the bookmarked folder when the bookmark resolves
    // (storing it again when it has gone stale), else the stored path.
    QString resolveSaveFolderForWriting();

    static QString promptAcceptLabel();
    static QString promptMessage();

    // Capture and export ----------------------------------------------------------
    QString filenameTemplate() const;
    ExportFormat exportFormat() const;
    double jpegQuality() const;
    // Absent key → 100; a stored negative number → no limit.
    std::optional<int> retentionLimit() const;
    void setRetentionLimit(std::optional<int> limit);
    RetentionOption retentionOption() const { return ivra::retentionOption(retentionLimit()); }
    bool playSoundOnCapture() const;
    bool showCursorInCapture() const;
    int countdownSeconds() const;
    AfterCaptureAction afterCaptureAction() const;
    bool autoCopyOnCapture() const;
    bool showInDock() const;
    QString appIconStyle() const;

    // Global shortcuts (the binding format belongs to the hotkey subsystem) ---------
    bool isHotKeyEnabled(CaptureAction action) const;
    void setHotKeyEnabled(CaptureAction action, bool enabled);
    // The stored JSON of a binding, or nothing when absent.
    std::optional<QByteArray> hotKeyData(CaptureAction action) const;
    void setHotKeyData(CaptureAction action, const QByteArray& json);

    // Recording ---------------------------------------------------------------------
    RecordingTarget recordingTarget() const;
    void setRecordingTarget(RecordingTarget target);
    RecordingQuality recordingQuality() const;
    void setRecordingQuality(RecordingQuality quality);
    bool showCameraBubble() const;
    void setShowCameraBubble(bool show);
    BubbleBorderColor bubbleBorderColor() const;
    void setBubbleBorderColor(BubbleBorderColor color);
    bool recordingBlurBackground() const;
    bool recordingNoiseReduction() const;
    bool recordingSystemAudio() const;
    QString recordingCameraDeviceID() const;
    QString recordingMicDeviceID() const;

    // Generic access for the settings window: writes the value as its stored kind.
    void setBool(const char* key, bool value);
    void setInt(const char* key, int value);
    void setDouble(const char* key, double value);
    void setText(const char* key, const QString& value);
    void remove(const char* key);

    // Strict readers: nothing for an absent key or a value of the wrong kind.
    std::optional<bool> readBool(const QString& key) const;
    std::optional<int> readInt(const QString& key) const;
    std::optional<double> readDouble(const QString& key) const;
    std::optional<QString> readText(const QString& key) const;
    std::optional<QByteArray> readData(const QString& key) const;

private:
    // A key of the table read as its kind, falling back to the table's default.
    bool yesNo(const char* key) const;
    int integer(const char* key) const;
    double real(const char* key) const;
    QString text(const char* key) const;
    template <typename E> E choice(const char* key) const;

    std::shared_ptr<KeyValueStore> m_defaults;
};

} // namespace ivra
