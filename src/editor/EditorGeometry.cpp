#include "editor/EditorGeometry.h"

#include <algorithm>

namespace ivra {

namespace {

// Used when no screen is known: a scale-2 screen of 1440 × 900 points.
constexpr double kFallbackDevicePixelRatio = 2;
constexpr double kFallbackRoomWidthPt = 1180.8;
constexpr double kFallbackRoomHeightPt = 658;
// Share of the available area an editor may fill, and what is kept free for the toolbar
// and the window's title bar.
constexpr double kRoomShare = 0.82;
constexpr double kChromeHeightPt = 80;

constexpr double kTextFieldHalfWidthPt = 104; // half of the 200-point field plus 4 of margin
constexpr double kTextFieldHalfHeightPt = 18;

} // namespace

QSizeF editorDisplaySize(QSize imageSizePx, std::optional<ScreenMetrics> screen) {
    const double scale = screen && screen->devicePixelRatio > 0 ? screen->devicePixelRatio
                                                                : kFallbackDevicePixelRatio;
    const double pointWidth = imageSizePx.width() / scale;
    const double pointHeight = imageSizePx.height() / scale;

    const double roomWidth =
        screen ? kRoomShare * screen->availableSizePt.width() : kFallbackRoomWidthPt;
    const double roomHeight = screen
                                  ? kRoomShare * screen->availableSizePt.height() - kChromeHeightPt
                                  : kFallbackRoomHeightPt;

    const double fitWidth = pointWidth > 1 ? roomWidth / pointWidth : roomWidth;
    const double fitHeight = pointHeight > 1 ? roomHeight / pointHeight : roomHeight;
    const double factor = std::min({fitWidth, fitHeight, 1.0});
    return {pointWidth * factor, pointHeight * factor};
}

QPointF canvasPixelPoint(QPointF viewPointPt, QSizeF displaySizePt, double ratio) {
    const double x = std::clamp(viewPointPt.x(), 0.0, std::max(displaySizePt.width(), 0.0));
    const double y = std::clamp(viewPointPt.y(), 0.0, std::max(displaySizePt.height(), 0.0));
    return {x * ratio, y * ratio};
}

QPointF textFieldCentre(QPointF labelPx, double ratio, QSizeF displaySizePt) {
    const double safeRatio = ratio > 0 ? ratio : 1;
    // min(max(limit, edge), max(want, edge)): when the canvas is narrower than the two
    // limits, the first max keeps the left (top) limit.
    const double x =
        std::min(std::max(displaySizePt.width() - kTextFieldHalfWidthPt, kTextFieldHalfWidthPt),
                 std::max(labelPx.x() / safeRatio + 100, kTextFieldHalfWidthPt));
    const double y =
        std::min(std::max(displaySizePt.height() - kTextFieldHalfHeightPt, kTextFieldHalfHeightPt),
                 std::max(labelPx.y() / safeRatio, kTextFieldHalfHeightPt));
    return {x, y};
}

} // namespace ivra
