#include "editor/SymbolIcon.h"

#include <algorithm>
#include <functional>

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace ivra {

namespace {

// Icons are designed on a 24-unit grid with 2-unit round strokes.
constexpr double kGrid = 24;
constexpr double kStroke = 2;

using Draw = std::function<void(QPainter&)>;

void strokePath(QPainter& painter, const QPainterPath& path, double width = kStroke) {
    QPen pen = painter.pen();
    pen.setWidthF(width);
    painter.strokePath(path, pen);
}

// Erases what lies under `path`, so overlapping shapes keep a visible gap between them.
void clearPath(QPainter& painter, const QPainterPath& path) {
    const auto mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(path, Qt::black);
    painter.setCompositionMode(mode);
}

void clearStroke(QPainter& painter, const QPainterPath& path, double width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    clearPath(painter, stroker.createStroke(path));
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        if (first) {
            path.moveTo(point);
            first = false;
        } else {
            path.lineTo(point);
        }
    }
    return path;
}

QPainterPath polygon(std::initializer_list<QPointF> points) {
    QPainterPath path = polyline(points);
    path.closeSubpath();
    return path;
}

QPainterPath circle(QPointF centre, double radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath roundedRect(double x, double y, double w, double h, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
    return path;
}

// A push pin standing upright: round head, a collar, and the needle.
QPainterPath pinShape() {
    QPainterPath pin;
    pin.addRoundedRect(QRectF(8, 2.5, 8, 3), 1.2, 1.2);
    pin.addPolygon(QPolygonF({{9.2, 5.5},
                              {14.8, 5.5},
                              {15.6, 11},
                              {18.5, 13.5},
                              {18.5, 15.5},
                              {5.5, 15.5},
                              {5.5, 13.5},
                              {8.4, 11}}));
    pin.closeSubpath();
    pin.addRect(QRectF(11.2, 15.5, 1.6, 6.5));
    pin.setFillRule(Qt::WindingFill);
    return pin;
}

// A four-pointed sparkle with concave sides.
QPainterPath sparkle(QPointF centre, double radius) {
    const double x = centre.x();
    const double y = centre.y();
    QPainterPath path;
    path.moveTo(x, y - radius);
    path.quadTo(centre, QPointF(x + radius, y));
    path.quadTo(centre, QPointF(x, y + radius));
    path.quadTo(centre, QPointF(x - radius, y));
    path.quadTo(centre, QPointF(x, y - radius));
    path.closeSubpath();
    return path;
}

QPainterPath eyeOutline() {
    QPainterPath path;
    path.moveTo(2.5, 12);
    path.cubicTo(5, 7.6, 8.4, 5.5, 12, 5.5);
    path.cubicTo(15.6, 5.5, 19, 7.6, 21.5, 12);
    path.cubicTo(19, 16.4, 15.6, 18.5, 12, 18.5);
    path.cubicTo(8.4, 18.5, 5, 16.4, 2.5, 12);
    path.closeSubpath();
    return path;
}

const QHash<QString, Draw>& drawings() {
    static const QHash<QString, Draw> table = {
        {QStringLiteral("pencil.tip"),
         [](QPainter& p) {
             strokePath(p, polygon({{4, 20}, {5.4, 14.6}, {15.6, 4.4}, {19.6, 8.4}, {9.4, 18.6}}));
             strokePath(p, polyline({{13.2, 6.8}, {17.2, 10.8}}));
             strokePath(p, polyline({{5.4, 14.6}, {9.4, 18.6}}));
         }},
        {QStringLiteral("highlighter"),
         [](QPainter& p) {
             strokePath(p, polygon({{14.5, 3.5}, {20.5, 9.5}, {12.5, 17.5}, {6.5, 11.5}}));
             p.fillPath(polygon({{7.5, 14}, {10, 16.5}, {7.5, 19}, {4.5, 17.5}, {5.5, 15.5}}),
                        p.pen().color());
             strokePath(p, polyline({{13, 21}, {20.5, 21}}));
         }},
        {QStringLiteral("line.diagonal"),
         [](QPainter& p) {
             strokePath(p, polyline({{5, 19}, {19, 5}}));
         }},
        {QStringLiteral("arrow.up.right"),
         [](QPainter& p) {
             strokePath(p, polyline({{6, 18}, {18, 6}}));
             strokePath(p, polyline({{8.5, 6}, {18, 6}, {18, 15.5}}));
         }},
        {QStringLiteral("rectangle"),
         [](QPainter& p) { strokePath(p, roundedRect(3, 6, 18, 12, 2.5)); }},
        {QStringLiteral("circle"),
         [](QPainter& p) {
             strokePath(p, circle({12, 12}, 8.5));
         }},
        {QStringLiteral("textformat"),
         [](QPainter& p) {
             // "Aa": a capital and a small letter.
             strokePath(p, polyline({{2.5, 19}, {7.5, 5.5}, {12.5, 19}}));
             strokePath(p, polyline({{4.4, 14}, {10.6, 14}}));
             strokePath(p, circle({17.3, 15.5}, 3.3));
             strokePath(p, polyline({{20.6, 11.5}, {20.6, 19}}));
         }},
        {QStringLiteral("1.circle"),
         [](QPainter& p) {
             strokePath(p, circle({12, 12}, 9.5));
             strokePath(p, polyline({{9.6, 9.2}, {12.6, 7.2}, {12.6, 16.8}}));
         }},
        {QStringLiteral("eye.slash"),
         [](QPainter& p) {
             strokePath(p, eyeOutline());
             strokePath(p, circle({12, 12}, 3));
             const QPainterPath slash = polyline({{4, 3.5}, {20, 20.5}});
             clearStroke(p, slash, kStroke * 2.6);
             strokePath(p, slash);
         }},
        {QStringLiteral("arrow.uturn.backward"),
         [](QPainter& p) {
             QPainterPath path;
             path.moveTo(4.5, 8.5);
             path.lineTo(14, 8.5);
             path.cubicTo(17.6, 8.5, 20, 11, 20, 14);
             path.cubicTo(20, 17, 17.6, 19.5, 14, 19.5);
             path.lineTo(10, 19.5);
             strokePath(p, path);
             strokePath(p, polyline({{8.5, 4.5}, {4.5, 8.5}, {8.5, 12.5}}));
         }},
        {QStringLiteral("wand.and.stars"),
         [](QPainter& p) {
             strokePath(p, polyline({{4, 20}, {14.5, 9.5}}), kStroke * 1.2);
             const QColor color = p.pen().color();
             p.fillPath(sparkle({17.5, 5.5}, 3.6), color);
             p.fillPath(sparkle({19.5, 13}, 2.4), color);
             p.fillPath(sparkle({10.5, 4}, 2.2), color);
         }},
        {QStringLiteral("text.viewfinder"),
         [](QPainter& p) {
             strokePath(p, polyline({{3, 8}, {3, 3}, {8, 3}}));
             strokePath(p, polyline({{16, 3}, {21, 3}, {21, 8}}));
             strokePath(p, polyline({{21, 16}, {21, 21}, {16, 21}}));
             strokePath(p, polyline({{8, 21}, {3, 21}, {3, 16}}));
             strokePath(p, polyline({{8, 8.5}, {16, 8.5}}));
             strokePath(p, polyline({{8, 12}, {16, 12}}));
             strokePath(p, polyline({{8, 15.5}, {13, 15.5}}));
         }},
        {QStringLiteral("doc.on.doc"),
         [](QPainter& p) {
             strokePath(p, roundedRect(9, 3, 11.5, 14, 2.2));
             const QPainterPath front = roundedRect(3.5, 7, 11.5, 14, 2.2);
             clearPath(p, front);
             clearStroke(p, front, kStroke * 2.4);
             strokePath(p, front);
         }},
        {QStringLiteral("square.and.arrow.down"),
         [](QPainter& p) {
             QPainterPath tray;
             tray.moveTo(8, 10);
             tray.lineTo(6.5, 10);
             tray.quadTo(4.5, 10, 4.5, 12);
             tray.lineTo(4.5, 19);
             tray.quadTo(4.5, 21, 6.5, 21);
             tray.lineTo(17.5, 21);
             tray.quadTo(19.5, 21, 19.5, 19);
             tray.lineTo(19.5, 12);
             tray.quadTo(19.5, 10, 17.5, 10);
             tray.lineTo(16, 10);
             strokePath(p, tray);
             strokePath(p, polyline({{12, 2.5}, {12, 15}}));
             strokePath(p, polyline({{8.2, 11.2}, {12, 15}, {15.8, 11.2}}));
         }},
        {QStringLiteral("checkmark.circle.fill"),
         [](QPainter& p) {
             p.fillPath(circle({12, 12}, 10.5), p.pen().color());
             clearStroke(p, polyline({{7.3, 12.4}, {10.6, 15.7}, {16.8, 8.6}}), kStroke * 1.15);
         }},
        {QStringLiteral("checkmark"),
         [](QPainter& p) {
             strokePath(p, polyline({{4.5, 12.5}, {9.5, 17.5}, {19.5, 6.5}}));
         }},
        {QStringLiteral("xmark"),
         [](QPainter& p) {
             strokePath(p, polyline({{6, 6}, {18, 18}}));
             strokePath(p, polyline({{18, 6}, {6, 18}}));
         }},
        {QStringLiteral("xmark.circle.fill"),
         [](QPainter& p) {
             p.fillPath(circle({12, 12}, 10.5), p.pen().color());
             clearStroke(p, polyline({{8.4, 8.4}, {15.6, 15.6}}), kStroke * 1.15);
             clearStroke(p, polyline({{15.6, 8.4}, {8.4, 15.6}}), kStroke * 1.15);
         }},
        {QStringLiteral("doc.on.doc.fill"),
         [](QPainter& p) {
             const QColor color = p.pen().color();
             p.fillPath(roundedRect(9, 3, 11.5, 14, 2.2), color);
             const QPainterPath front = roundedRect(3.5, 7, 11.5, 14, 2.2);
             clearStroke(p, front, kStroke * 1.4);
             p.fillPath(front, color);
         }},
        {QStringLiteral("camera.viewfinder"),
         [](QPainter& p) {
             strokePath(p, polyline({{2.5, 7.5}, {2.5, 2.5}, {7.5, 2.5}}));
             strokePath(p, polyline({{16.5, 2.5}, {21.5, 2.5}, {21.5, 7.5}}));
             strokePath(p, polyline({{21.5, 16.5}, {21.5, 21.5}, {16.5, 21.5}}));
             strokePath(p, polyline({{7.5, 21.5}, {2.5, 21.5}, {2.5, 16.5}}));
             // The camera: a body with a raised finder on top and a round lens.
             QPainterPath body;
             body.moveTo(7.5, 8.5);
             body.lineTo(9.6, 8.5);
             body.lineTo(10.6, 7);
             body.lineTo(13.4, 7);
             body.lineTo(14.4, 8.5);
             body.lineTo(16.5, 8.5);
             body.quadTo(17.5, 8.5, 17.5, 9.5);
             body.lineTo(17.5, 16);
             body.quadTo(17.5, 17, 16.5, 17);
             body.lineTo(7.5, 17);
             body.quadTo(6.5, 17, 6.5, 16);
             body.lineTo(6.5, 9.5);
             body.quadTo(6.5, 8.5, 7.5, 8.5);
             body.closeSubpath();
             p.fillPath(body, p.pen().color());
             clearPath(p, circle({12, 12.75}, 2.9));
             p.fillPath(circle({12, 12.75}, 1.6), p.pen().color());
         }},
        {QStringLiteral("clock.arrow.circlepath"),
         [](QPainter& p) {
             // An open circle turning back on itself, with the clock's hands inside.
             QPainterPath arc;
             arc.arcMoveTo(QRectF(3.5, 3.5, 17, 17), 160);
             arc.arcTo(QRectF(3.5, 3.5, 17, 17), 160, -300);
             strokePath(p, arc);
             strokePath(p, polyline({{1.8, 9.2}, {4.2, 12.2}, {7.2, 9.8}}));
             strokePath(p, polyline({{12, 7.5}, {12, 12}, {15, 14}}));
         }},
        {QStringLiteral("pin.fill"), [](QPainter& p) { p.fillPath(pinShape(), p.pen().color()); }},
        {QStringLiteral("pin.slash"),
         [](QPainter& p) {
             strokePath(p, pinShape(), kStroke * 0.9);
             clearStroke(p, polyline({{3.5, 3.5}, {20.5, 20.5}}), kStroke * 2.6);
             strokePath(p, polyline({{3.5, 3.5}, {20.5, 20.5}}));
         }},
        {QStringLiteral("pin.slash.fill"),
         [](QPainter& p) {
             p.fillPath(pinShape(), p.pen().color());
             clearStroke(p, polyline({{3.5, 3.5}, {20.5, 20.5}}), kStroke * 2.6);
             strokePath(p, polyline({{3.5, 3.5}, {20.5, 20.5}}));
         }},
        {QStringLiteral("pencil.tip.crop.circle"),
         [](QPainter& p) {
             strokePath(p, circle({12, 12}, 9.5));
             QPainterPath pencil =
                 polygon({{8, 16}, {8.6, 13.4}, {14.6, 7.4}, {16.6, 9.4}, {10.6, 15.4}});
             p.fillPath(pencil, p.pen().color());
         }},
    };
    return table;
}

} // namespace

const QStringList& SymbolIcon::names() {
    static const QStringList list = [] {
        QStringList keys = drawings().keys();
        keys.sort();
        return keys;
    }();
    return list;
}

bool SymbolIcon::contains(QStringView name) {
    return drawings().contains(name.toString());
}

QImage SymbolIcon::render(QStringView name, double sizePt, const QColor& color,
                          double devicePixelRatio) {
    const auto found = drawings().constFind(name.toString());
    if (found == drawings().cend() || sizePt <= 0) {
        return {};
    }
    const double dpr = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int sidePx = std::max(1, qRound(sizePt * dpr));
    QImage image(sidePx, sidePx, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(dpr);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The painter already works in points (it applies the image's pixel ratio).
    const double scale = sidePx / dpr / kGrid;
    painter.scale(scale, scale);
    painter.setPen(QPen(color, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    (*found)(painter);
    return image;
}

} // namespace ivra
