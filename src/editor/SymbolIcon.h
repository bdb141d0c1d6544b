#pragma once

#include <QColor>
#include <QImage>
#include <QStringList>
#include <QStringView>

namespace ivra {

// The toolbar's icons, drawn here as vector shapes so the bar looks the same on every
// desktop whatever its icon theme. Each icon is known by a symbol name ("pencil.tip",
// "doc.on.doc", …) and drawn in one colour on a transparent background.
class SymbolIcon {
public:
    SymbolIcon() = delete;

    static const QStringList& names();
    static bool contains(QStringView name);

    // The icon in a square of `sizePt` points at the given device pixel ratio, or a null
    // image for a name it does not know.
    static QImage render(QStringView name, double sizePt, const QColor& color,
                         double devicePixelRatio);
};

} // namespace ivra
