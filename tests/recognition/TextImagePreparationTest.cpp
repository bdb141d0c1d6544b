#include <cmath>

#include <QGuiApplication>
#include <QTest>

#include "RenderedText.h"
#include "recognition/TextImagePreparation.h"

using namespace ivra;
using namespace ivra::test;

namespace {

QImage flattened(const QImage& image) {
    return flattenWithBackground(toGrey(image), 3).ink;
}

int darkestIn(const QImage& grey, const QRect& area) {
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            darkest = std::min(darkest, qGray(grey.pixel(x, y)));
        }
    }
    return darkest;
}

} // namespace

class TextImagePreparationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyGroundEndsUpDarkTextOnWhite();
    void thickStrokesStayInk();
    void smallTextIsScaledUpWithinLimits();
    void translucentPixelsLieOnWhite();
};

void TextImagePreparationTest::everyGroundEndsUpDarkTextOnWhite() {
    // Three grounds side by side: dark, light, and the accent blue of a selected row, each
    // with a word in its own text colour.
    const QStringList word = {QStringLiteral("Files")};
    const QImage parts[] = {renderedText(word, 14, kMoon, kNight),
                            renderedText(word, 14, kInk, kPaper),
                            renderedText(word, 14, Qt::white, QColor(74, 158, 255))};
    const int partWidth = parts[0].width();
    QImage screen(3 * partWidth, parts[0].height(), QImage::Format_RGB32);
    QPainter painter(&screen);
    for (int i = 0; i < 3; ++i) {
        painter.drawImage(i * partWidth, 0, parts[i]);
    }
    painter.end();
    const QImage flat = flattened(screen);
    QCOMPARE(flat.format(), QImage::Format_Grayscale8);
    const int lineTop = 14 * 8 / 5;
    for (int i = 0; i < 3; ++i) {
        // Above the word: ground only, right up to the panel's edges. The word itself: dark
        // ink, the darker the more it stood out.
        QCOMPARE(darkestIn(flat, QRect(i * partWidth, 0, partWidth, lineTop - 2)), 255);
        QVERIFY2(darkestIn(flat, QRect(i * partWidth, lineTop, partWidth, 14)) < 100,
                 qPrintable(QString::number(i)));
    }
}

void TextImagePreparationTest::thickStrokesStayInk() {
    // A heading so large and bold that its strokes are wider than ordinary text's
    // surroundings: their insides must not pass for background.
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(kPaper);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(150);
    font.setBold(true);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(kInk);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("IH"));
    painter.end();

    const PageForLayout page = preparePageForLayout(image);
    QVERIFY(page.glyphPx);
    QCOMPARE(recognitionScaleFor(*page.glyphPx), 1.0);
    int inkPixels = 0;
    int keptInk = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 60) {
                ++inkPixels;
                keptInk += qGray(page.flattened.ink.pixel(x, y)) < 60 ? 1 : 0;
            }
        }
    }
    QVERIFY(inkPixels > 5000);
    QVERIFY2(keptInk > inkPixels * 98 / 100,
             qPrintable(QStringLiteral("%1 of %2").arg(keptInk).arg(inkPixels)));
}

void TextImagePreparationTest::smallTextIsScaledUpWithinLimits() {
    auto scaleFor = [](const QString& text, int sizePx) {
        const PageForLayout page = preparePageForLayout(renderedText({text}, sizePx, kInk, kPaper));
        return page.glyphPx ? recognitionScaleFor(*page.glyphPx) : -1.0;
    };
    const QString line = QStringLiteral("Open the settings window");
    const double small = scaleFor(line, 11);
    QVERIFY2(small >= 2.0 && small <= 2.5, qPrintable(QString::number(small)));
    QCOMPARE(scaleFor(line, 40), 1.0);
    // Text that Tesseract reads well as it is (24 to 34 pixels) is never resampled, in
    // either script and in capitals.
    for (const QString& text : {line, QStringLiteral("Відкрити вікно налаштувань"),
                                QStringLiteral("EXPORT SUMMARY 2026")}) {
        for (const int sizePx : {24, 28, 34}) {
            QVERIFY2(scaleFor(text, sizePx) == 1.0,
                     qPrintable(QStringLiteral("%1 at %2 px").arg(text).arg(sizePx)));
        }
    }
}

void TextImagePreparationTest::translucentPixelsLieOnWhite() {
    // A cut-out with transparent surroundings, as background removal leaves it.
    QImage cutOut(60, 30, QImage::Format_ARGB32);
    cutOut.fill(Qt::transparent);
    cutOut.setPixelColor(10, 10, kInk);
    const QImage grey = toGrey(cutOut);
    QCOMPARE(grey.format(), QImage::Format_Grayscale8);
    QCOMPARE(qGray(grey.pixel(0, 0)), 255);
    QVERIFY(qGray(grey.pixel(10, 10)) < 40);
    QCOMPARE(qGray(grey.pixel(59, 29)), 255);
}

QTEST_MAIN(TextImagePreparationTest)
#include "TextImagePreparationTest.moc"
