// How recognised text is laid out: rows of cells with tabs, panes one after the other,
// highlighted rows and icons, and the --recognize output of a table.

#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTest>

#include "RenderedText.h"
#include "recognition/OCRService.h"
#include "recognition/RecognizeCommand.h"

using namespace ivra;
using namespace ivra::test;

namespace {

constexpr int kSizePx = 14;

QFont interfaceFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kSizePx);
    return font;
}

// Rows of cells, each cell drawn at its column's left edge.
QImage renderedTable(const QList<QStringList>& rows, const QList<int>& columns, int pitch,
                     const QColor& ground, const QColor& ink, bool grid = false) {
    const int width = columns.last() + 200;
    QImage image(width, static_cast<int>(rows.size()) * pitch + 2 * pitch, QImage::Format_RGB32);
    image.fill(ground);
    QPainter painter(&image);
    painter.setFont(interfaceFont());
    const QFontMetrics metrics(interfaceFont());
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            painter.setPen(ink);
            painter.drawText(columns[c],
                             pitch + r * pitch + (pitch + metrics.ascent() - metrics.descent()) / 2,
                             rows[r][c]);
        }
    }
    if (grid) {
        painter.setPen(QColor(200, 203, 208));
        for (int r = 0; r <= rows.size(); ++r) {
            painter.drawLine(columns.first() - 8, pitch + r * pitch, width - 20, pitch + r * pitch);
        }
        for (const int x : columns) {
            painter.drawLine(x - 8, pitch, x - 8, pitch + static_cast<int>(rows.size()) * pitch);
        }
    }
    return image;
}

QString joined(const QList<QStringList>& rows) {
    QStringList lines;
    for (const QStringList& row : rows) {
        lines.append(row.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n'));
}

const QList<QStringList> kTable = {
    {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")},
    {QStringLiteral("report.pdf"), QStringLiteral("24 KB"), QStringLiteral("12.05.2025")},
    {QStringLiteral("Нотатки"), QStringLiteral("3 KB"), QStringLiteral("28.11.2024")},
    {QStringLiteral("Holiday photos"), QStringLiteral("1.2 GB"), QStringLiteral("03.01.2024")},
};

} // namespace

class TextLayoutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void tableComesOutRowByRowWithTabs_data();
    void tableComesOutRowByRowWithTabs();
    void panesComeOutOneAfterTheOther();
    void highlightedMenuItemReadsLikeTheOthers();
    void iconAtRowStartIsNotText();
    void iconBesideTwoLinesOfACardKeepsThemApart();
    void roundedButtonsAndBubblesLeaveNoMarks();
    void upturnedGheIsRestored_data();
    void upturnedGheIsRestored();
    void monospacedWordsStayInOneCell_data();
    void monospacedWordsStayInOneCell();
    void recognizeCommandPrintsTheTabs();
};

void TextLayoutTest::initTestCase() {
    QCOMPARE(QFontInfo(interfaceFont()).family(), QStringLiteral("DejaVu Sans"));
}

void TextLayoutTest::tableComesOutRowByRowWithTabs_data() {
    QTest::addColumn<bool>("grid");
    QTest::addColumn<bool>("dark");
    QTest::newRow("no grid, light") << false << false;
    QTest::newRow("grid lines, dark") << true << true;
}

void TextLayoutTest::tableComesOutRowByRowWithTabs() {
    QFETCH(bool, grid);
    QFETCH(bool, dark);
    const QImage image = renderedTable(kTable, {20, 200, 320}, 28, dark ? kNight : kPaper,
                                       dark ? kMoon : kInk, grid);
    QCOMPARE(OCRService::recognizeTextBlocking(image).text, joined(kTable));
}

void TextLayoutTest::panesComeOutOneAfterTheOther() {
    // A settings pane beside a terminal, their lines on the same rows.
    const QStringList settings = {QStringLiteral("Captures are kept for thirty days"),
                                  QStringLiteral("Choose a folder for new screenshots"),
                                  QStringLiteral("The shortcut works in every layout")};
    const QStringList terminal = {QStringLiteral("olena@desk:~$ make test"),
                                  QStringLiteral("error: no such file or directory"),
                                  QStringLiteral("Збирання завершено")};
    const QList<QStringList> rows = {
        {settings[0], terminal[0]}, {settings[1], terminal[1]}, {settings[2], terminal[2]}};
    QImage image = renderedTable(rows, {20, 360}, 24, kPaper, kInk);
    {
        QPainter painter(&image);
        painter.fillRect(QRect(340, 0, image.width() - 340, image.height()), kNight);
        painter.setFont(interfaceFont());
        painter.setPen(kMoon);
        const QFontMetrics metrics(interfaceFont());
        for (int r = 0; r < terminal.size(); ++r) {
            painter.drawText(360, 24 + r * 24 + (24 + metrics.ascent() - metrics.descent()) / 2,
                             terminal[r]);
        }
    }
    // The order of lines is what counts here; a letter misread is the benchmark's business.
    const QStringList expected = settings + terminal;
    const QStringList lines =
        OCRService::recognizeTextBlocking(image).text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(!lines[i].contains(QLatin1Char('\t')), qPrintable(lines[i]));
        QCOMPARE(lines[i].left(4).toLower(), expected[i].left(4).toLower());
    }
}

void TextLayoutTest::highlightedMenuItemReadsLikeTheOthers() {
    const QList<QStringList> items = {
        {QStringLiteral("Open File"), QStringLiteral("Ctrl+O")},
        {QStringLiteral("Save As"), QStringLiteral("Ctrl+Shift+S")},
        {QStringLiteral("Print"), QStringLiteral("Ctrl+P")},
        {QStringLiteral("Закрити вкладку"), QStringLiteral("Ctrl+W")}};
    constexpr int kPitch = 28;
    for (int highlighted = 0; highlighted < items.size(); ++highlighted) {
        QImage image(360, (static_cast<int>(items.size()) + 2) * kPitch, QImage::Format_RGB32);
        image.fill(kPaper);
        QPainter painter(&image);
        painter.setFont(interfaceFont());
        const QFontMetrics metrics(interfaceFont());
        for (int i = 0; i < items.size(); ++i) {
            const int top = kPitch + i * kPitch;
            QColor ink = kInk;
            if (i == highlighted) {
                painter.fillRect(QRect(4, top + 1, 352, kPitch - 2), QColor(53, 132, 228));
                ink = Qt::white;
            }
            painter.setPen(ink);
            const int baseline = top + (kPitch + metrics.ascent() - metrics.descent()) / 2;
            painter.drawText(28, baseline, items[i][0]);
            painter.drawText(340 - metrics.horizontalAdvance(items[i][1]), baseline, items[i][1]);
        }
        painter.end();
        // Neither the bar's edges nor its rounded ends come out as marks of their own.
        QCOMPARE(OCRService::recognizeTextBlocking(image).text, joined(items));
    }
}

void TextLayoutTest::iconAtRowStartIsNotText() {
    const QList<QStringList> rows = {{QStringLiteral("Documents"), QStringLiteral("12 items")},
                                     {QStringLiteral("Завантаження"), QStringLiteral("3 items")},
                                     {QStringLiteral("Pictures"), QStringLiteral("48 items")}};
    constexpr int kPitch = 30;
    QImage image = renderedTable(rows, {48, 240}, kPitch, kPaper, kInk);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int r = 0; r < rows.size(); ++r) {
        // A folder: tab and body, filled.
        const double top = kPitch + r * kPitch + 7;
        QPainterPath folder;
        folder.moveTo(18, top);
        folder.lineTo(24, top);
        folder.lineTo(26, top + 3);
        folder.lineTo(36, top + 3);
        folder.lineTo(36, top + 16);
        folder.lineTo(18, top + 16);
        folder.closeSubpath();
        painter.fillPath(folder, QColor(53, 132, 228));
    }
    painter.end();
    // No mark where the folders are; the case of a small "З" is the benchmark's business.
    QCOMPARE(OCRService::recognizeTextBlocking(image).text.toLower(), joined(rows).toLower());
}

void TextLayoutTest::iconBesideTwoLinesOfACardKeepsThemApart() {
    // A notification: a rounded card on a darker ground, an outlined icon as tall as both
    // lines beside them, a time at the title's end.
    QImage image(380, 100, QImage::Format_RGB32);
    image.fill(kNight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(44, 46, 52));
    painter.drawRoundedRect(QRectF(10, 10, 360, 80), 12, 12);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(53, 132, 228), 3));
    painter.drawRoundedRect(QRectF(30, 34, 24, 27), 4, 4);
    painter.setFont(interfaceFont());
    painter.setPen(kMoon);
    painter.drawText(74, 44, QStringLiteral("Screenshot saved"));
    painter.drawText(320, 44, QStringLiteral("now"));
    painter.drawText(74, 61, QStringLiteral("The file is in your Pictures folder"));
    painter.end();
    QCOMPARE(OCRService::recognizeTextBlocking(image).text,
             QStringLiteral("Screenshot saved\tnow\nThe file is in your Pictures folder"));
}

void TextLayoutTest::roundedButtonsAndBubblesLeaveNoMarks() {
    // A chat bubble, then a dialog's buttons: one outlined, one filled, both rounded.
    QImage image(420, 150, QImage::Format_RGB32);
    image.fill(QColor(246, 246, 248));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(interfaceFont());
    const QFontMetrics metrics(interfaceFont());
    const auto centred = [&](const QRectF& box, const QString& text) {
        painter.drawText(box, Qt::AlignCenter, text);
    };
    const QString message = QStringLiteral("Так, дякую! Виглядають чудово");
    const QRectF bubble(150, 16, metrics.horizontalAdvance(message) + 24, 28);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(53, 132, 228));
    painter.drawRoundedRect(bubble, 10, 10);
    painter.setPen(Qt::white);
    centred(bubble, message);

    const QRectF cancel(170, 100, 110, 34);
    const QRectF save(296, 100, 110, 34);
    painter.setPen(QPen(QColor(190, 192, 198), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(cancel, 8, 8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(53, 132, 228));
    painter.drawRoundedRect(save, 8, 8);
    painter.setPen(kInk);
    centred(cancel, QStringLiteral("Cancel"));
    painter.setPen(Qt::white);
    centred(save, QStringLiteral("Save"));
    painter.end();
    image.save("/tmp/dbg/bubble.png");
    QCOMPARE(OCRService::recognizeTextBlocking(image).text,
             message + QStringLiteral("\nCancel\tSave"));
}

void TextLayoutTest::upturnedGheIsRestored_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("sizePx");
    QTest::newRow("DejaVu Sans 14") << QStringLiteral("DejaVu Sans") << 14;
    QTest::newRow("Liberation Sans 11") << QStringLiteral("Liberation Sans") << 11;
    QTest::newRow("Roboto 16") << QStringLiteral("Roboto") << 16;
}

void TextLayoutTest::upturnedGheIsRestored() {
    // The Ukrainian model has no "ґ": the upturn is read off the letters themselves. Plain
    // "г" and "Г" stay, even beside the dot of an "і".
    QFETCH(QString, family);
    QFETCH(int, sizePx);
    QFont font(family);
    font.setPixelSize(sizePx);
    QVERIFY2(QFontInfo(font).family() == family, "scripts/install-deps.sh installs the fonts");
    const QString line = QStringLiteral("Ґанок ґудзик гарно Грунт ґрунт Дорога гідно біг Гілка");
    QImage image(560, 44, QImage::Format_RGB32);
    image.fill(kPaper);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(kInk);
    painter.drawText(10, 28, line);
    painter.end();
    QCOMPARE(OCRService::recognizeTextBlocking(image).text, line);
}

void TextLayoutTest::monospacedWordsStayInOneCell_data() {
    QTest::addColumn<QString>("family");
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "Hack"}) {
        QTest::newRow(family) << QString::fromLatin1(family);
    }
}

void TextLayoutTest::monospacedWordsStayInOneCell() {
    // A terminal in a small monospaced font: a whole cell between words is wider than the
    // small letters are tall, yet it is a space, not a column.
    QFETCH(QString, family);
    QFont font(family);
    font.setPixelSize(11);
    QVERIFY2(QFontInfo(font).family() == family, "scripts/install-deps.sh installs the fonts");
    const QStringList lines = {QStringLiteral("Гілка main, нічого комітити"),
                               QStringLiteral("попередження: змінна не вживається"),
                               QStringLiteral("warning: unused variable count")};
    QImage image(300, 80, QImage::Format_RGB32);
    image.fill(kNight);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(kMoon);
    for (int i = 0; i < lines.size(); ++i) {
        painter.drawText(10, 22 + 18 * i, lines[i]);
    }
    painter.end();
    const QString text = OCRService::recognizeTextBlocking(image).text;
    QVERIFY2(!text.contains(QLatin1Char('\t')), qPrintable(text));
    QCOMPARE(text.count(QLatin1Char('\n')), lines.size() - 1);
}

void TextLayoutTest::recognizeCommandPrintsTheTabs() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("table.png"));
    QVERIFY(renderedTable(kTable, {20, 200, 320}, 28, kPaper, kInk).save(path));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QCOMPARE(runRecognizeCommand(path, outStream, errStream), 0);
    outStream.flush();
    // Pasted into a spreadsheet, every cell lands in a cell of its own.
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), kTable.size());
    for (qsizetype r = 0; r < lines.size(); ++r) {
        QCOMPARE(lines[r].split(QLatin1Char('\t')), kTable[r]);
    }
}

QTEST_MAIN(TextLayoutTest)
#include "TextLayoutTest.moc"
