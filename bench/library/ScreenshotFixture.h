#pragma once

#include <cmath>
#include <cstdint>

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QString>

namespace ivra::bench {

// A screenshot as users take them: a dark desktop with application windows (flat
// panels, title bars, buttons, lines of anti-aliased text, a code listing) and one
// photograph-like region. Random noise would make any PNG encoder look slow and
// every size comparison meaningless, so nothing here is noise.
inline QImage makeScreenshot(int widthPx, int heightPx) {
    QImage image(widthPx, heightPx, QImage::Format_RGB32);
    image.fill(QColor(10, 11, 13));

    // The photograph: smooth value noise at several scales over a sky gradient, so it
    // has the gentle gradients and fine texture of a real photo.
    const QRect photo(widthPx * 52 / 100, heightPx * 18 / 100, widthPx * 40 / 100,
                      heightPx * 45 / 100);
    auto lattice = [](int x, int y) {
        uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return static_cast<double>((h ^ (h >> 16)) & 0xffff) / 65535.0;
    };
    auto smoothNoise = [&](double x, double y) {
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0;
        const double fy = y - y0;
        const double sx = fx * fx * (3 - 2 * fx);
        const double sy = fy * fy * (3 - 2 * fy);
        const double top = lattice(x0, y0) + sx * (lattice(x0 + 1, y0) - lattice(x0, y0));
        const double bottom =
            lattice(x0, y0 + 1) + sx * (lattice(x0 + 1, y0 + 1) - lattice(x0, y0 + 1));
        return top + sy * (bottom - top);
    };
    for (int y = photo.top(); y <= photo.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double v = static_cast<double>(y - photo.top()) / photo.height();
        for (int x = photo.left(); x <= photo.right(); ++x) {
            const double u = static_cast<double>(x - photo.left()) / photo.width();
            double n = 0;
            double amplitude = 0.5;
            double frequency = 4;
            for (int octave = 0; octave < 5; ++octave) {
                n += amplitude * smoothNoise(u * frequency, v * frequency * 0.6);
                amplitude *= 0.5;
                frequency *= 2.3;
            }
            const double ridge = 0.45 + 0.25 * smoothNoise(u * 3, 7.5);
            int r, g, b;
            if (v < ridge) { // sky with clouds
                const double cloud = std::clamp((n - 0.45) * 2.5, 0.0, 1.0);
                r = static_cast<int>(90 + 80 * v + 120 * cloud);
                g = static_cast<int>(140 + 60 * v + 95 * cloud);
                b = static_cast<int>(210 + 20 * v + 25 * cloud);
            } else { // hills with grass texture
                r = static_cast<int>(40 + 70 * n);
                g = static_cast<int>(80 + 110 * n - 30 * (v - ridge));
                b = static_cast<int>(30 + 40 * n);
            }
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double scale = widthPx / 3840.0;
    QFont sans(QStringLiteral("DejaVu Sans"));
    sans.setPixelSize(std::max(8, static_cast<int>(26 * scale)));
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(std::max(8, static_cast<int>(24 * scale)));
    const int lineStep = std::max(10, static_cast<int>(38 * scale));

    // Top panel of the desktop.
    painter.fillRect(QRect(0, 0, widthPx, lineStep + 8), QColor(24, 27, 33));
    painter.setFont(sans);
    painter.setPen(QColor(242, 244, 247));
    painter.drawText(QPoint(20, lineStep - 6),
                     QStringLiteral("Activities    Files    Thu 14 Mar  09:05"));

    // A document window on the left.
    const QRect doc(widthPx * 3 / 100, heightPx * 8 / 100, widthPx * 45 / 100, heightPx * 84 / 100);
    painter.fillRect(doc, QColor(250, 250, 250));
    painter.fillRect(QRect(doc.topLeft(), QSize(doc.width(), lineStep * 2)), QColor(230, 232, 236));
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(doc.adjusted(20, 10, 0, 0), QStringLiteral("Quarterly report — draft 3.odt"));
    const QRect sidebar(doc.left(), doc.top() + lineStep * 2, doc.width() / 4,
                        doc.height() - lineStep * 2);
    painter.fillRect(sidebar, QColor(241, 243, 246));
    static const char* const kWords[] = {
        "The",       "capture", "library", "keeps",   "every", "screenshot", "with",  "its",
        "thumbnail", "and",     "record;", "pinned",  "shots", "stay",       "while", "older",
        "ones",      "make",    "room",    "for",     "new",   "work.",      "Quick", "brown",
        "fox",       "jumps",   "over",    "lazy",    "dogs",  "numbers",    "1234",  "5678",
        "report",    "figures", "— ",      "revenue", "grew",  "12%."};
    constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);
    int wordIndex = 0;
    for (int i = 0; i < 24; ++i) {
        painter.drawText(QPoint(sidebar.left() + 24, sidebar.top() + lineStep * (i + 1)),
                         QStringLiteral("Section %1 · %2")
                             .arg(i + 1)
                             .arg(QLatin1String(kWords[i % kWordCount])));
    }
    for (int y = doc.top() + lineStep * 3; y < doc.bottom() - lineStep; y += lineStep) {
        QString line;
        for (int w = 0; w < 11 + (y / lineStep) % 5; ++w) {
            line += QLatin1String(kWords[wordIndex++ % kWordCount]) + QLatin1Char(' ');
        }
        painter.drawText(QPoint(sidebar.right() + 30, y), line);
    }

    // A code editor under the photograph.
    const QRect code(widthPx * 52 / 100, heightPx * 66 / 100, widthPx * 44 / 100,
                     heightPx * 30 / 100);
    painter.fillRect(code, QColor(30, 31, 36));
    painter.setFont(mono);
    static const QColor kSyntax[] = {QColor(198, 120, 221), QColor(97, 175, 239),
                                     QColor(152, 195, 121), QColor(171, 178, 191)};
    for (int i = 0, y = code.top() + lineStep; y < code.bottom(); ++i, y += lineStep) {
        painter.setPen(QColor(92, 99, 112));
        painter.drawText(QPoint(code.left() + 12, y), QString::number(i + 1));
        painter.setPen(kSyntax[i % 4]);
        painter.drawText(
            QPoint(code.left() + 90 + (i % 3) * 40, y),
            QStringLiteral("auto record = repository.insert(image, \"%1\", now); // %2")
                .arg(QLatin1String(kWords[i % kWordCount]))
                .arg(i * 37));
    }

    // Buttons and a toolbar over the photograph.
    painter.setFont(sans);
    for (int i = 0; i < 6; ++i) {
        const QRectF button(photo.left() + i * 170 * scale, photo.bottom() + 20 * scale,
                            150 * scale, 48 * scale);
        QLinearGradient gradient(button.topLeft(), button.bottomLeft());
        gradient.setColorAt(0, QColor(74, 158, 255));
        gradient.setColorAt(1, QColor(54, 128, 225));
        painter.setBrush(gradient);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(button, 10 * scale, 10 * scale);
        painter.setPen(Qt::white);
        painter.drawText(button, Qt::AlignCenter, QStringLiteral("Action %1").arg(i + 1));
    }
    painter.end();
    return image;
}

} // namespace ivra::bench
