// Accuracy and speed of text recognition on rendered interface text, against plain
// Tesseract (same engine and languages, raw pixels, no clean-up) on the same images.
// IVRA_BENCH_VERBOSE=1 prints every recognised text next to the plain one.

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "BenchSupport.h"
#include "recognition/OCRService.h"
#include "recognition/TesseractEngine.h"
#include "recognition/TextImagePreparation.h"

using namespace ivra;

namespace {

// Interface-like lines with the short words that Latin and Cyrillic share shapes for ("a",
// "і", "в", "у"), the Ukrainian words that digits share shapes with ("з", "за", "зо", "о")
// next to lone digits 3 and 0, punctuation, the Ukrainian apostrophe and a line that mixes
// both alphabets.
const QStringList kLines = {
    QStringLiteral("Open the settings window and choose a folder"),
    QStringLiteral("Saved 24 captures to Pictures on 12 May 2025"),
    QStringLiteral("Is it a bug or a feature? I think it is a bug."),
    QStringLiteral("File name: Report (final) v2.png, 1.4 MB"),
    QStringLiteral("Show a thumbnail in the corner after each capture"),
    QStringLiteral("Знімок екрана збережено в теці Зображення"),
    QStringLiteral("Ви впевнені, що хочете видалити цей знімок?"),
    QStringLiteral("Налаштування гарячих клавіш і звуків"),
    QStringLiteral("Сім'я п'ять років жила в Києві, а не у Львові"),
    QStringLiteral("Запис зупинено через 5 хвилин 17 секунд"),
    QStringLiteral("Я і ти їдемо о пів на восьму у село з Одеси"),
    QStringLiteral("Оберіть файл, а потім натисніть «Відкрити»"),
    QStringLiteral("Відкрити в Firefox або скопіювати посилання"),
    QStringLiteral("Quarterly report, draft 3, is ready for review"),
    QStringLiteral("Звіт за квартал надіслано о 3 годині"),
    QStringLiteral("Зо два тижні тому з теки зникло 30 знімків, а 0 відновлено"),
};

const QStringList kFonts = {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")};
const std::vector<int> kSizesPx = {11, 12, 14, 16, 20};
const std::vector<int> kPixelRatios = {1, 2};

struct Palette {
    const char* name;
    QColor background;
    QColor text;
};
const std::vector<Palette> kPalettes = {
    {"light", QColor(255, 255, 255), QColor(28, 30, 33)},
    {"dark", QColor(19, 21, 26), QColor(242, 244, 247)},
};

// Lines drawn as an interface would: one font, comfortable leading, some margin.
QImage renderLines(const QStringList& lines, const QString& family, int sizePx,
                   const Palette& palette, int pixelRatio) {
    QFont font(family);
    font.setPixelSize(sizePx);
    const QFontMetrics metrics(font);
    const int margin = 2 * sizePx;
    const int leading = sizePx * 8 / 5;
    int widthPx = 0;
    for (const QString& line : lines) {
        widthPx = std::max(widthPx, metrics.horizontalAdvance(line));
    }
    const QSize logical(widthPx + 2 * margin,
                        static_cast<int>(lines.size()) * leading + 2 * margin);
    QImage image(logical * pixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(palette.background);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(palette.text);
    for (int i = 0; i < lines.size(); ++i) {
        painter.drawText(margin, margin + i * leading + metrics.ascent(), lines[i]);
    }
    return image;
}

// Runs of spaces count as one; line breaks are kept, since lost or merged lines are errors.
QString normalized(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = line.simplified();
    }
    lines.removeAll(QString());
    return lines.join(QLatin1Char('\n'));
}

int editDistance(const QString& a, const QString& b) {
    const QList<uint> x = a.toUcs4();
    const QList<uint> y = b.toUcs4();
    std::vector<int> row(static_cast<size_t>(y.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j) {
        row[j] = static_cast<int>(j);
    }
    for (qsizetype i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= y.size(); ++j) {
            const int above = row[static_cast<size_t>(j)];
            const int cost = x[i - 1] == y[j - 1] ? 0 : 1;
            row[static_cast<size_t>(j)] =
                std::min({above + 1, row[static_cast<size_t>(j - 1)] + 1, diagonal + cost});
            diagonal = above;
        }
    }
    return row.back();
}

struct Tally {
    long errors = 0;
    long length = 0;
    void add(const QString& expected, const QString& actual) {
        errors += editDistance(expected, actual);
        length += expected.size();
    }
    double percent() const { return length ? 100.0 * static_cast<double>(errors) / length : 0; }
};

QString plainTesseract(TesseractEngine& engine, const QImage& image) {
    QImage raw = image;
    raw.setDevicePixelRatio(1);
    return engine.recognizeLines(raw).value_or(QStringList()).join(QLatin1Char('\n'));
}

// A full-HD screenshot of a file-manager-like window: a dark title bar and sidebar, a light
// content pane with paragraphs, a blue button and a dim status line. Returns the image and
// the text lines drawn on it.
std::pair<QImage, QStringList> renderScreen() {
    QImage image(1920, 1080, QImage::Format_RGB32);
    QPainter painter(&image);
    QStringList drawn;
    const auto text = [&](const QRect& area, int sizePx, const QColor& color, const QString& line) {
        QFont font(QStringLiteral("Noto Sans"));
        font.setPixelSize(sizePx);
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, line);
        drawn.append(line);
    };
    image.fill(QColor(250, 250, 250));
    painter.fillRect(0, 0, 1920, 40, QColor(24, 27, 33));
    painter.fillRect(0, 40, 300, 1010, QColor(19, 21, 26));
    painter.fillRect(0, 1050, 1920, 30, QColor(30, 34, 42));
    text(QRect(24, 0, 800, 40), 14, QColor(242, 244, 247),
         QStringLiteral("Pictures / Screenshots"));

    const QStringList places = {
        QStringLiteral("Home"),      QStringLiteral("Recent"),    QStringLiteral("Pictures"),
        QStringLiteral("Downloads"), QStringLiteral("Документи"), QStringLiteral("Музика"),
        QStringLiteral("Відео"),     QStringLiteral("Кошик"),
    };
    painter.fillRect(QRect(0, 72 + 2 * 36 - 4, 300, 36), QColor(74, 158, 255));
    for (int i = 0; i < places.size(); ++i) {
        text(QRect(32, 72 + i * 36, 240, 28), 13, QColor(242, 244, 247), places[i]);
    }

    for (int i = 0; i < 22; ++i) {
        const QString line =
            kLines[i % kLines.size()] + QStringLiteral(" ") + kLines[(i * 7 + 3) % kLines.size()];
        text(QRect(340, 80 + i * 38, 1540, 28), 14, QColor(28, 30, 33), line);
    }
    painter.fillRect(QRect(1740, 960, 140, 40), QColor(74, 158, 255));
    text(QRect(1774, 960, 100, 40), 14, QColor(255, 255, 255), QStringLiteral("Зберегти"));
    text(QRect(16, 1050, 900, 30), 12, QColor(139, 146, 155),
         QStringLiteral("22 items, 3 selected (4.7 MB)"));
    return {image, drawn};
}

// Errors of a whole screen where reading order is Tesseract's business: each drawn line is
// matched with the recognised line closest to it.
void tallyScreen(Tally& tally, const QStringList& drawn, const QString& recognised) {
    const QStringList lines = normalized(recognised).split(QLatin1Char('\n'));
    for (const QString& expected : drawn) {
        int best = static_cast<int>(expected.size());
        for (const QString& line : lines) {
            best = std::min(best, editDistance(expected, line));
        }
        tally.errors += best;
        tally.length += expected.size();
    }
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    for (const QString& family : kFonts) {
        if (QFontInfo(QFont(family)).family() != family) {
            std::fprintf(stderr, "font %s is not installed\n", qPrintable(family));
            return 1;
        }
    }
    auto engine = TesseractEngine::create();
    if (!engine) {
        std::fprintf(stderr, "Tesseract with English and Ukrainian data is not available\n");
        return 1;
    }

    const QString expected = kLines.join(QLatin1Char('\n'));
    // (size, palette, ratio) -> tallies; the fonts are pooled.
    std::map<std::tuple<int, int, int>, std::pair<Tally, Tally>> table;
    Tally ours12Up;
    Tally raw12Up;
    Tally oursAll;
    Tally rawAll;
    for (const QString& family : kFonts) {
        for (int sizePx : kSizesPx) {
            for (size_t p = 0; p < kPalettes.size(); ++p) {
                for (int ratio : kPixelRatios) {
                    const QImage image = renderLines(kLines, family, sizePx, kPalettes[p], ratio);
                    const QString ours = normalized(OCRService::recognizeTextBlocking(image).text);
                    const QString raw = normalized(plainTesseract(*engine, image));
                    auto& [oursTally, rawTally] = table[{sizePx, static_cast<int>(p), ratio}];
                    oursTally.add(expected, ours);
                    rawTally.add(expected, raw);
                    oursAll.add(expected, ours);
                    rawAll.add(expected, raw);
                    if (sizePx >= 12) {
                        ours12Up.add(expected, ours);
                        raw12Up.add(expected, raw);
                    }
                    if (qEnvironmentVariableIsSet("IVRA_BENCH_VERBOSE")) {
                        std::printf("--- %s %dpx %s x%d\n%s\n-- raw\n%s\n", qPrintable(family),
                                    sizePx, kPalettes[p].name, ratio, qPrintable(ours),
                                    qPrintable(raw));
                    }
                }
            }
        }
    }

    std::printf("Character error rate, %%: ours / plain Tesseract (fonts: %s)\n",
                qPrintable(kFonts.join(QStringLiteral(", "))));
    std::printf("%6s %6s %16s %16s\n", "size", "ground", "ratio 1", "ratio 2");
    for (int sizePx : kSizesPx) {
        for (size_t p = 0; p < kPalettes.size(); ++p) {
            std::printf("%4dpx %6s", sizePx, kPalettes[p].name);
            for (int ratio : kPixelRatios) {
                const auto& [ours, raw] = table[{sizePx, static_cast<int>(p), ratio}];
                std::printf("    %5.1f / %5.1f", ours.percent(), raw.percent());
            }
            std::printf("\n");
        }
    }
    std::printf("all sizes: %.2f / %.2f\n", oursAll.percent(), rawAll.percent());
    const auto [screen, drawn] = renderScreen();
    Tally oursScreen;
    Tally rawScreen;
    QString oursText;
    QString rawText;
    const double oursMs =
        bench::medianMs(3, [&] { oursText = OCRService::recognizeTextBlocking(screen).text; });
    const double rawMs = bench::medianMs(3, [&] { rawText = plainTesseract(*engine, screen); });
    const double prepareMs = bench::medianMs(3, [&] { prepareTextImage(screen); });
    tallyScreen(oursScreen, drawn, oursText);
    tallyScreen(rawScreen, drawn, rawText);
    if (qEnvironmentVariableIsSet("IVRA_BENCH_VERBOSE")) {
        std::printf("--- screen\n%s\n-- raw\n%s\n", qPrintable(oursText), qPrintable(rawText));
    }
    std::printf("1920x1080 screen: CER %.2f / %.2f %%, %.0f / %.0f ms\n", oursScreen.percent(),
                rawScreen.percent(), oursMs, rawMs);
    bench::report("ocr_cer_12px_up", ours12Up.percent(), "%");
    bench::report("ocr_cer_raw_12px_up", raw12Up.percent(), "%");
    bench::report("ocr_cer_screen", oursScreen.percent(), "%");
    bench::report("ocr_cer_raw_screen", rawScreen.percent(), "%");
    bench::report("ocr_1080p", oursMs, "ms");
    bench::report("ocr_raw_1080p", rawMs, "ms");
    bench::report("ocr_prepare_1080p", prepareMs, "ms");
    bench::report("ocr_1080p_vs_raw", oursMs / rawMs, "x");
    return 0;
}
