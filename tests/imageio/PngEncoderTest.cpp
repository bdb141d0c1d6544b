#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include "imageio/ImageCodec.h"

using namespace ivra;

namespace {

// Content that drives the encoder down each of its row filters: flat UI rows stay
// unfiltered, ramps and repeated textures pick Sub or Up, noise and soft shading Paeth.
QImage makeContent(const QString& kind, QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(99);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            QRgb pixel = 0;
            if (kind == "ui") {
                const bool text = (x / 3 + y / 5) % 7 == 0 && y % 20 < 12;
                pixel = text ? qRgba(20, 20, 20, 255) : qRgba(250, 250, 248, 255);
            } else if (kind == "ramps") {
                pixel = qRgba(x & 0xff, (x * 3 + y) & 0xff, (y * 7) & 0xff, 255 - (x & 0x7f));
            } else if (kind == "shading") {
                pixel = qRgba((x * y / 7) & 0xff, (x + 2 * y) & 0xff, ((x ^ y) / 3) & 0xff,
                              (128 + x - y) & 0xff);
            } else {
                pixel = random.generate();
            }
            line[x] = pixel;
        }
    }
    return image;
}

} // namespace

class PngEncoderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTripsExactly_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QImage::Format>("format");
        const QList<QPair<const char*, QImage::Format>> formats{
            {"RGB32", QImage::Format_RGB32},
            {"ARGB32", QImage::Format_ARGB32},
            {"premultiplied", QImage::Format_ARGB32_Premultiplied},
            {"RGB888", QImage::Format_RGB888},
            {"grayscale", QImage::Format_Grayscale8},
            {"indexed", QImage::Format_Indexed8},
            {"RGBA64", QImage::Format_RGBA64}};
        const QList<QSize> sizes{QSize(1, 1), QSize(1, 9), QSize(9, 1), QSize(37, 23)};
        for (const char* kind : {"ui", "ramps", "shading", "noise"}) {
            for (const auto& [formatName, format] : formats) {
                for (const QSize& size : sizes) {
                    QTest::addRow("%s %s %dx%d", kind, formatName, size.width(), size.height())
                        << QString::fromLatin1(kind) << size << format;
                }
            }
            // Large enough to be split between two threads, with an odd row count.
            QTest::addRow("%s RGB32 large", kind)
                << QString::fromLatin1(kind) << QSize(1100, 1001) << QImage::Format_RGB32;
            QTest::addRow("%s ARGB32 large", kind)
                << QString::fromLatin1(kind) << QSize(1031, 1100) << QImage::Format_ARGB32;
        }
    }

    void roundTripsExactly() {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        QFETCH(QImage::Format, format);
        const QImage image = makeContent(kind, size).convertToFormat(format);
        const auto png = imageio::encodePng(image);
        QVERIFY(png);
        QVERIFY(png->startsWith("\x89PNG\r\n\x1a\n"));
        QVERIFY(png->endsWith(QByteArray("IEND\xae\x42\x60\x82", 8)));

        // Decoded by libpng (through Qt), which also checks every chunk's CRC.
        const QImage decoded = imageio::decode(*png);
        QCOMPARE(decoded.size(), size);
        QCOMPARE(decoded.hasAlphaChannel(), image.hasAlphaChannel());
        const QImage::Format compareAs =
            image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        QCOMPARE(decoded.convertToFormat(compareAs), image.convertToFormat(compareAs));
    }

    void refusesWhatItCannotEncode() {
        QVERIFY(!imageio::encodePng(QImage()));
        // Beyond the encoder's limit; the pixels are never touched, so this costs no memory.
        QImage huge(20000, 15000, QImage::Format_RGB32);
        if (huge.isNull()) {
            QSKIP("this machine would not even reserve the image");
        }
        QVERIFY(!imageio::encodePng(huge));
    }
};

QTEST_GUILESS_MAIN(PngEncoderTest)
#include "PngEncoderTest.moc"
