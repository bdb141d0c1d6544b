#pragma once

#include <optional>

#include <QList>
#include <QRect>
#include <QRectF>
#include <QString>

#include "capture/ScreenCaptureBackend.h"

class QScreen;

namespace ivra::platform {

// One RandR monitor in X pixels (the root window's coordinates).
struct X11Monitor {
    DisplayID displayID = 0; // the monitor's name atom
    QString name;
    QRect rectPx;
    bool primary = false;
};

// Where X pixels and Qt's points meet: monitors are matched to Qt screens by name, and a
// screen's points keep its native origin and divide its size by the device pixel ratio,
// as Qt 6 lays out screens. Every conversion between the two goes through here.
class X11DisplayMap {
public:
    // The device pixel ratios of the application's screens as they are now (1 for a
    // monitor no screen shows, or without a Qt application).
    explicit X11DisplayMap(QList<X11Monitor> monitors);

    const QList<X11Monitor>& monitors() const { return m_monitors; }
    const X11Monitor* monitor(DisplayID id) const;
    double devicePixelRatio(const X11Monitor& monitor) const;

    CaptureDisplay display(const X11Monitor& monitor) const;
    // A rectangle of X pixels in points, by the monitor holding its centre (else the one it
    // overlaps most; unchanged when it lies on none).
    QRectF toPoints(const QRect& rectPx) const;

    static std::optional<DisplayID> displayID(const QList<X11Monitor>& monitors,
                                              const QScreen& screen);

private:
    const X11Monitor* monitorFor(const QRect& rectPx) const;

    QList<X11Monitor> m_monitors;
    QList<double> m_ratios;
};

} // namespace ivra::platform
