#pragma once

#include <array>
#include <optional>
#include <span>

#include <QString>
#include <QStringView>

namespace ivra {

// The enumerations stored in the settings as their raw text. Each has a table of its
// cases in declaration order (the order the settings window offers them), with the raw
// text and the label shown to the user.

enum class CaptureAction { Area, Window, FullScreen, Ocr };
enum class AfterCaptureAction { Pin, Copy, Editor };
enum class ExportFormat { Png, Jpeg };
enum class RetentionOption { Fifty, OneHundred, ThreeHundred, Unlimited };
enum class RecordingQuality { High, Max };
enum class RecordingTarget { Screen, Area };
enum class BubbleBorderColor { White, Violet, Green, Orange, Blue, None };

template <typename E> struct EnumCase {
    E value;
    const char* raw;
    const char* label;
};

template <typename E> struct EnumTable;

template <> struct EnumTable<CaptureAction> {
    static constexpr std::array<EnumCase<CaptureAction>, 4> cases{{
        {CaptureAction::Area, "area", "Capture Area"},
        {CaptureAction::Window, "window", "Capture Window"},
        {CaptureAction::FullScreen, "fullScreen", "Capture Full Screen"},
        {CaptureAction::Ocr, "ocr", "OCR / Extract Text"},
    }};
};

template <> struct EnumTable<AfterCaptureAction> {
    static constexpr std::array<EnumCase<AfterCaptureAction>, 3> cases{{
        {AfterCaptureAction::Pin, "pin", "Pin to the side"},
        {AfterCaptureAction::Copy, "copy", "Copy to clipboard"},
        {AfterCaptureAction::Editor, "editor", "Open in editor"},
    }};
};

template <> struct EnumTable<ExportFormat> {
    static constexpr std::array<EnumCase<ExportFormat>, 2> cases{{
        {ExportFormat::Png, "png", "PNG"},
        {ExportFormat::Jpeg, "jpeg", "JPEG"},
    }};
};

template <> struct EnumTable<RetentionOption> {
    static constexpr std::array<EnumCase<RetentionOption>, 4> cases{{
        {RetentionOption::Fifty, "50", "50"},
        {RetentionOption::OneHundred, "100", "100"},
        {RetentionOption::ThreeHundred, "300", "300"},
        {RetentionOption::Unlimited, "Unlimited", "Unlimited"},
    }};
};

template <> struct EnumTable<RecordingQuality> {
    static constexpr std::array<EnumCase<RecordingQuality>, 2> cases{{
        {RecordingQuality::High, "high", "High (smaller)"},
        {RecordingQuality::Max, "max", "Maximum (best)"},
    }};
};

template <> struct EnumTable<RecordingTarget> {
    static constexpr std::array<EnumCase<RecordingTarget>, 2> cases{{
        {RecordingTarget::Screen, "screen", "Screen"},
        {RecordingTarget::Area, "area", "Area"},
    }};
};

template <> struct EnumTable<BubbleBorderColor> {
    static constexpr std::array<EnumCase<BubbleBorderColor>, 6> cases{{
        {BubbleBorderColor::White, "white", "White"},
        {BubbleBorderColor::Violet, "violet", "Violet"},
        {BubbleBorderColor::Green, "green", "Green"},
        {BubbleBorderColor::Orange, "orange", "Orange"},
        {BubbleBorderColor::Blue, "blue", "Blue"},
        {BubbleBorderColor::None, "none", "None"},
    }};
};

template <typename E> constexpr std::span<const EnumCase<E>> allCases() {
    return EnumTable<E>::cases;
}

template <typename E> QString rawValue(E value) {
    for (const auto& c : EnumTable<E>::cases) {
        if (c.value == value) {
            return QString::fromUtf8(c.raw);
        }
    }
    return {};
}

template <typename E> QString label(E value) {
    for (const auto& c : EnumTable<E>::cases) {
        if (c.value == value) {
            return QString::fromUtf8(c.label);
        }
    }
    return {};
}

// Exact, case-sensitive match of a stored raw text.
template <typename E> std::optional<E> fromRawValue(QStringView raw) {
    for (const auto& c : EnumTable<E>::cases) {
        if (raw == QLatin1String(c.raw)) {
            return c.value;
        }
    }
    return std::nullopt;
}

// The retention option a stored limit reads back as (no limit → unlimited).
RetentionOption retentionOption(std::optional<int> limit);
// The stored limit of an option: 50, 100, 300, or no limit.
std::optional<int> retentionLimit(RetentionOption option);

} // namespace ivra
