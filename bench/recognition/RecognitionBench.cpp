// Accuracy and speed of text recognition on rendered pieces of interfaces (InterfaceScenes.h),
// against plain Tesseract (same engine and languages, raw pixels, automatic page
// segmentation, no clean-up) on the same images.
// IVRA_BENCH_VERBOSE=1 prints every recognised text next to the expected one;
// IVRA_BENCH_FONTS / IVRA_BENCH_MONO (comma-separated families) render the set in other
// fonts, to check that the figures do not depend on the usual ones.
// IVRA_BENCH_SPEED=1 measures the speed figures alone (the set is rendered, not read).
// IVRA_BENCH_KINDS (comma-separated kinds of scene, with IVRA_BENCH_QUICK) reads those alone.

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "BenchSupport.h"
#include "InterfaceScenes.h"
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

// Runs of spaces count as one; line breaks and tabs are kept, since lost or merged lines
// and cells are errors.
QString normalized(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        QStringList cells = line.split(QLatin1Char('\t'));
        for (QString& cell : cells) {
            cell = cell.simplified();
        }
        cells.removeAll(QString());
        line = cells.join(QLatin1Char('\t'));
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

QStringList familiesFrom(const char* variable, const QStringList& fallback) {
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? fallback : value.split(QLatin1Char(','));
}

// The screen with pieces of interface pasted over its content pane: busier.
QImage busyScreen(const QImage& screen, const std::vector<bench::Scene>& scenes) {
    QImage busy = screen;
    QPainter painter(&busy);
    const QPoint places[] = {{1000, 560}, {1420, 560}, {1000, 760}, {1420, 90}};
    const char* kinds[] = {"table_grid", "menu", "terminal_dark", "filelist"};
    for (size_t i = 0; i < std::size(places); ++i) {
        for (const bench::Scene& scene : scenes) {
            if (scene.kind == QLatin1String(kinds[i]) && scene.image.devicePixelRatio() == 1) {
                QImage piece = scene.image;
                painter.drawImage(places[i], piece.copy(0, 0, std::min(piece.width(), 480),
                                                        std::min(piece.height(), 260)));
                break;
            }
        }
    }
    return busy;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList families = familiesFrom(
        "IVRA_BENCH_FONTS",
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans"),
         QStringLiteral("Liberation Sans"), QStringLiteral("Open Sans"), QStringLiteral("Roboto"),
         QStringLiteral("PT Sans"), QStringLiteral("Cantarell"), QStringLiteral("FreeSans")});
    const QStringList monos = familiesFrom(
        "IVRA_BENCH_MONO", {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                            QStringLiteral("Hack"), QStringLiteral("Noto Mono")});
    for (const QString& family : families + monos + kFonts) {
        if (QFontInfo(QFont(family)).family() != family) {
            std::fprintf(stderr, "font %s is not installed (scripts/install-deps.sh)\n",
                         qPrintable(family));
            return 1;
        }
    }
    auto engine = TesseractEngine::create();
    if (!engine) {
        std::fprintf(stderr, "Tesseract with English and Ukrainian data is not available\n");
        return 1;
    }
    const bool verbose = qEnvironmentVariableIsSet("IVRA_BENCH_VERBOSE");
    // While tuning: the interface set alone, without plain Tesseract.
    const bool quick = qEnvironmentVariableIsSet("IVRA_BENCH_QUICK");
    // While making it faster: the speed figures alone.
    const bool speedOnly = qEnvironmentVariableIsSet("IVRA_BENCH_SPEED");

    // The interface set, per kind of scene.
    const std::vector<bench::Scene> scenes = bench::interfaceScenes(families, monos);
    std::map<QString, std::pair<Tally, Tally>> kinds;
    Tally oursSet;
    Tally rawSet;
    const QString dump = qEnvironmentVariable("IVRA_BENCH_DUMP");
    int sceneIndex = 0;
    const QStringList onlyKinds = familiesFrom("IVRA_BENCH_KINDS", {});
    for (const bench::Scene& scene : speedOnly ? std::vector<bench::Scene>() : scenes) {
        if (!onlyKinds.isEmpty() && !onlyKinds.contains(scene.kind)) {
            continue;
        }
        if (!dump.isEmpty()) {
            scene.image.save(
                QStringLiteral("%1/%2-%3.png").arg(dump, scene.kind).arg(sceneIndex++));
        }
        const QString expected = normalized(scene.expected.join(QLatin1Char('\n')));
        const QString ours = normalized(OCRService::recognizeTextBlocking(scene.image).text);
        const QString raw = quick ? QString() : normalized(plainTesseract(*engine, scene.image));
        auto& [oursKind, rawKind] = kinds[scene.kind];
        oursKind.add(expected, ours);
        rawKind.add(expected, raw);
        oursSet.add(expected, ours);
        rawSet.add(expected, raw);
        if (verbose && ours != expected) {
            std::printf("--- %s %dx%d x%g\n%s\n-- expected\n%s\n", qPrintable(scene.kind),
                        scene.image.width(), scene.image.height(), scene.image.devicePixelRatio(),
                        qPrintable(ours), qPrintable(expected));
        }
    }
    if (!speedOnly) {
        std::printf("Interface set: %zu images, fonts %s; %s\n", scenes.size(),
                    qPrintable(families.join(QStringLiteral(", "))),
                    qPrintable(monos.join(QStringLiteral(", "))));
        std::printf("%-16s %8s %8s\n", "kind", "ours %", "plain %");
        for (const auto& [kind, tallies] : kinds) {
            std::printf("%-16s %8.2f %8.2f\n", qPrintable(kind), tallies.first.percent(),
                        tallies.second.percent());
        }
        std::printf("%-16s %8.2f %8.2f\n", "all", oursSet.percent(), rawSet.percent());
    }
    if (quick) {
        bench::report("ocr_ui_set_cer", oursSet.percent(), "%");
        return 0;
    }

    // Plain lines of text in two fonts, light and dark, small and large.
    const QString expected = kLines.join(QLatin1Char('\n'));
    Tally oursLines;
    Tally rawLines;
    for (const QString& family : speedOnly ? QStringList() : kFonts) {
        for (const int sizePx : {11, 14}) {
            for (const Palette& palette : kPalettes) {
                const QImage image = renderLines(kLines, family, sizePx, palette, 1);
                oursLines.add(expected, normalized(OCRService::recognizeTextBlocking(image).text));
                rawLines.add(expected, normalized(plainTesseract(*engine, image)));
            }
        }
    }
    if (!speedOnly) {
        std::printf("plain lines: %.2f / %.2f %%\n", oursLines.percent(), rawLines.percent());
    }

    const auto [screen, drawn] = renderScreen();
    const QImage busy = busyScreen(screen, scenes);
    Tally oursScreen;
    Tally rawScreen;
    QString oursText;
    QString rawText;
    // Once before timing: the engines of every worker are loaded, as in a running Ivra.
    OCRService::recognizeTextBlocking(busy);
    const double oursMs =
        bench::medianMs(3, [&] { oursText = OCRService::recognizeTextBlocking(busy).text; });
    const double rawMs = bench::medianMs(3, [&] { rawText = plainTesseract(*engine, busy); });
    tallyScreen(oursScreen, drawn, oursText);
    tallyScreen(rawScreen, drawn, rawText);
    if (verbose) {
        std::printf("--- screen\n%s\n-- raw\n%s\n", qPrintable(oursText), qPrintable(rawText));
    }
    // What the O key mostly gets: a few lines of a page.
    const QImage selection = screen.copy(QRect(340, 80, 600, 200));
    const double selectionMs =
        bench::medianMs(9, [&] { OCRService::recognizeTextBlocking(selection); });
    // For comparison on a busy machine: plain Tesseract on the same selection.
    const double selectionRawMs = bench::medianMs(9, [&] { plainTesseract(*engine, selection); });

    if (!speedOnly) {
        bench::report("ocr_ui_set_cer", oursSet.percent(), "%");
        bench::report("ocr_ui_set_cer_raw", rawSet.percent(), "%");
        bench::report("ocr_lines_cer", oursLines.percent(), "%");
    }
    bench::report("ocr_cer_screen", oursScreen.percent(), "%");
    bench::report("ocr_cer_raw_screen", rawScreen.percent(), "%");
    bench::report("ocr_1080p", oursMs, "ms");
    bench::report("ocr_1080p_raw", rawMs, "ms");
    bench::report("ocr_1080p_vs_raw", oursMs / rawMs, "x");
    bench::report("ocr_selection", selectionMs, "ms");
    bench::report("ocr_selection_raw", selectionRawMs, "ms");
    return 0;
}
