#pragma once

#include <optional>

#include <QPointF>
#include <QSize>
#include <QSizeF>

namespace ivra {

// What the editor needs to know about the screen it opens on.
struct ScreenMetrics {
    double devicePixelRatio = 1;
    QSizeF availableSizePt; // the screen's available area, without panels and docks
};

// The canvas size, in points, of an editor window opened on an image of `imageSizePx`:
// the image at its natural point size on that screen, shrunk (never enlarged) to fit 82 %
// of the available area with room for the toolbar. Without a screen, a scale-2 screen of
// 1440 × 900 points is assumed.
QSizeF editorDisplaySize(QSize imageSizePx, std::optional<ScreenMetrics> screen);

// Canvas point → base image pixel: clamped to the canvas, then scaled by one ratio for both
// axes, so a drag that leaves the canvas is pinned to its edge.
QPointF canvasPixelPoint(QPointF viewPointPt, QSizeF displaySizePt, double ratio);

// Where the centre of the 200-point label field goes for a label at `labelPx`: its left
// edge at the click, vertically centred on it, kept 4 points inside the left and right
// edges and 18 points from the top and bottom. On a canvas too small for both limits the
// left and top ones win.
QPointF textFieldCentre(QPointF labelPx, double ratio, QSizeF displaySizePt);

} // namespace ivra
