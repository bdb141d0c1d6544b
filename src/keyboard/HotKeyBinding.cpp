#include "keyboard/HotKeyBinding.h"

#include <cmath>
#include <limits>

#include <QJsonDocument>
#include <QJsonObject>

#include "keyboard/KeyPositions.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

std::optional<quint32> member(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (number < 0 || number > std::numeric_limits<quint32>::max() ||
        number != std::floor(number)) {
        return std::nullopt;
    }
    return quint32(number);
}

} // namespace

QByteArray HotKeyBinding::toJson() const {
    return QJsonDocument(QJsonObject{{QStringLiteral("keyCode"), qint64(keyCode)},
                                     {QStringLiteral("modifiers"), qint64(modifiers)}})
        .toJson(QJsonDocument::Compact);
}

std::optional<HotKeyBinding> HotKeyBinding::fromJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
        return std::nullopt;
    }
    const auto keyCode = member(document.object(), "keyCode");
    const auto modifiers = member(document.object(), "modifiers");
    if (!keyCode || !modifiers) {
        return std::nullopt;
    }
    return HotKeyBinding{*keyCode, *modifiers};
}

HotKeyBinding HotKeyBinding::defaultFor(CaptureAction action) {
    constexpr quint32 kCommandShift = keymod::Command | keymod::Shift;
    switch (action) {
    case CaptureAction::Area:
        return {keypos::Digit1, kCommandShift};
    case CaptureAction::Window:
        return {19, kCommandShift}; // the 2 key
    case CaptureAction::FullScreen:
        return {26, kCommandShift}; // the 7 key
    case CaptureAction::Ocr:
        return {keypos::O, kCommandShift};
    }
    return {keypos::Digit1, kCommandShift};
}

quint32 HotKeyBinding::identifier(CaptureAction action) {
    return quint32(action) + 1;
}

HotKeyBinding HotKeyBinding::stored(const SettingsStore& settings, CaptureAction action) {
    if (const auto data = settings.hotKeyData(action)) {
        if (const auto binding = fromJson(*data)) {
            return *binding;
        }
    }
    return defaultFor(action);
}

} // namespace ivra
