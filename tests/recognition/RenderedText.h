#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>

namespace ivra::test {

// Dark text on white, and light text on the interface's dark surface.
inline const QColor kInk(28, 30, 33);
inline const QColor kPaper(255, 255, 255);
inline const QColor kNight(19, 21, 26);
inline const QColor kMoon(242, 244, 247);

// Lines of text drawn as an interface draws them, with a margin of one line height.
inline QImage renderedText(const QStringList& lines, int sizePx, const QColor& text,
                           const QColor& background, int pixelRatio = 1,
                           const QString& family = QStringLiteral("DejaVu Sans")) {
    QFont font(family);
    font.setPixelSize(sizePx);
    const QFontMetrics metrics(font);
    const int leading = sizePx * 8 / 5;
    int widthPx = 0;
    for (const QString& line : lines) {
        widthPx = std::max(widthPx, metrics.horizontalAdvance(line));
    }
    const QSize logical(widthPx + 2 * leading, static_cast<int>(lines.size() + 2) * leading);
    QImage image(logical * pixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(background);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(text);
    for (int i = 0; i < lines.size(); ++i) {
        painter.drawText(leading, (i + 1) * leading + metrics.ascent(), lines[i]);
    }
    return image;
}

} // namespace ivra::test
