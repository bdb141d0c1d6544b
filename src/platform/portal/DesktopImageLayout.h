#pragma once

#include <optional>

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>

namespace ivra::platform {

// Where each screen lies in a whole-desktop screenshot from the portal. The portal's
// image covers the bounding box of every screen (in points) at one scale, the largest of
// the screens'; parts no screen covers are transparent.
class DesktopImageLayout {
public:
    // Nothing when the image's proportions do not match the screens' bounding box: the
    // screens changed while the portal worked, or it captured something else.
    static std::optional<DesktopImageLayout> create(const QList<QRect>& screenFramesPt,
                                                    QSize imageSizePx);

    // The image's pixels that show framePt (points, the same space as the screens'),
    // clipped to the image.
    QRect imageRect(const QRect& framePt) const;

    // The part that shows framePt, scaled to exactly sizePx, in Format_ARGB32. The image
    // must be the one whose size created this layout.
    QImage extract(const QImage& desktopImage, const QRect& framePt, QSize sizePx) const;

private:
    DesktopImageLayout(const QRect& boundsPt, QSize imageSizePx, double scaleX, double scaleY);

    QRect m_boundsPt;
    QSize m_imageSizePx;
    double m_scaleX = 1.0;
    double m_scaleY = 1.0;
};

} // namespace ivra::platform
