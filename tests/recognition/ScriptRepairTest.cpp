#include <QTest>

#include "recognition/ScriptRepair.h"

using namespace ivra;

class ScriptRepairTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void repairsLettersOfTheWrongAlphabet_data();
    void repairsLettersOfTheWrongAlphabet();
    void columnOfNumbersTakesDigitsForLookAlikeCapitals();
    void lineWithoutWordsToGoByTakesThePagesAlphabet();
};

namespace {

// Rows of cells, each cell's words split at spaces; "|" separates cells.
std::vector<LaidOutRow> rowsOf(const QStringList& lines) {
    std::vector<LaidOutRow> rows;
    for (const QString& line : lines) {
        LaidOutRow row;
        for (const QString& cell : line.split(QLatin1Char('|'))) {
            std::vector<RecognizedWord> words;
            for (const QString& word : cell.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                words.push_back({word, QRect(), 90, {}});
            }
            row.push_back(words);
        }
        rows.push_back(row);
    }
    return rows;
}

QStringList linesOf(const std::vector<LaidOutRow>& rows) {
    QStringList lines;
    for (const LaidOutRow& row : rows) {
        QStringList cells;
        for (const auto& cell : row) {
            QStringList words;
            for (const RecognizedWord& word : cell) {
                words.append(word.text);
            }
            cells.append(words.join(QLatin1Char(' ')));
        }
        lines.append(cells.join(QLatin1Char('|')));
    }
    return lines;
}

} // namespace

void ScriptRepairTest::repairsLettersOfTheWrongAlphabet_data() {
    QTest::addColumn<QString>("recognised");
    QTest::addColumn<QString>("expected");
    const std::pair<const char*, const char*> repaired[] = {
        // Short words take the alphabet of the words around them.
        {"choose а folder", "choose a folder"},
        {"клавіш i звуків", "клавіш і звуків"},
        {"Saved іп Pictures, 1.4 МВ.", "Saved in Pictures, 1.4 MB."},
        {"І think so", "I think so"},
        {"Ні, a (не) так", "Ні, а (не) так"},
        // Letters inside one word follow the word's unmistakable letters.
        {"Відкрити в Firеfox", "Відкрити в Firefox"},
        {"у Kиєві", "у Києві"},
        // A bar before a lower-case word is a letter; between capitalised words, a separator.
        {"a bug? | think", "a bug? I think"},
        {"клавіш | звуків", "клавіш і звуків"},
        // Digits shaped like "з" and "о" inside Ukrainian words, and those letters for digits.
        {"Звіт 3a квартал", "Звіт за квартал"},
        {"3а рік зр0сло, 3і мною", "За рік зросло, зі мною"},
        {"Quarterly report, draft З, is ready", "Quarterly report, draft 3, is ready"},
        {"о З годині, а O відновлено", "о 3 годині, а 0 відновлено"},
        // Whole words in look-alikes of the other alphabet, as headers and file names on
        // dark grounds come out; key names in shortcut columns.
        {"BiKHo", "Вікно"},
        {"3MicT", "Зміст"},
        {"Відкрити BiKHo налаштувань", "Відкрити Вікно налаштувань"},
        {"Ctri+O", "Ctrl+O"},
        {"Ctrl+Shitt+S", "Ctrl+Shift+S"},
        {"Ctrl4+Z", "Ctrl+Z"},
        {"Ctrl4w", "Ctrl+W"},
        {"Ctril+w", "Ctrl+W"},
        {"Crrl+Shift+Q", "Ctrl+Shift+Q"},
    };
    for (const auto& [recognised, expected] : repaired) {
        QTest::newRow(recognised) << QString::fromUtf8(recognised) << QString::fromUtf8(expected);
    }
    // Left alone: neighbours disagree, no neighbours, or words long enough to be meant.
    for (const char* kept :
         {"File | Edit | View", "Відкрити в Firefox", "OK", "натисніть Copy щоб скопіювати",
          "12:45 3/4", "з 2026 року в 3D на 10-й раз, 3мм за 5хв, 30 знімків, 3-я",
          "type O blood, draft O", "Лист. З Одеси, ЛИСТ З ОДЕСИ", "",
          // The preposition opening a sentence or a line, and closing a line (its word
          // goes on in the next one).
          "З понеділка працюємо", "Готово! З понеділка", "домовились зустрітися З",
          // An English word, numbers, a path, a URL and a line of code stay as read, even
          // among Ukrainian words.
          "Відкрити Open", "Open the Tom file", "Звіт за 2030 рік", "/home/olena/3MicT/BiKHo.png",
          "https://ivra.example/BiKHo", "const int BiKHo = 30; // 3MicT",
          // Sums and versions are no shortcuts.
          "1+2 C++ Beta+2 Salt+4 Total4x"}) {
        QTest::newRow(kept) << QString::fromUtf8(kept) << QString::fromUtf8(kept);
    }
}

void ScriptRepairTest::repairsLettersOfTheWrongAlphabet() {
    QFETCH(QString, recognised);
    QFETCH(QString, expected);
    QCOMPARE(repairMixedScripts(recognised), expected);
}

void ScriptRepairTest::columnOfNumbersTakesDigitsForLookAlikeCapitals() {
    // A file list's sizes: the third row's count was read as the letter.
    std::vector<LaidOutRow> rows =
        rowsOf({QStringLiteral("Зображення|48 об'єктів"), QStringLiteral("Музика|7 об'єктів"),
                QStringLiteral("Завантаження|З об'єкти"), QStringLiteral("Відео|O items")});
    repairColumnDigits(rows);
    QCOMPARE(
        linesOf(rows),
        QStringList({QStringLiteral("Зображення|48 об'єктів"), QStringLiteral("Музика|7 об'єктів"),
                     QStringLiteral("Завантаження|3 об'єкти"), QStringLiteral("Відео|0 items")}));

    // A column of words keeps its prepositions; a row of one cell ends the table, and
    // the cells below it are judged on their own.
    const QStringList kept = {QStringLiteral("З понеділка|працюємо"),
                              QStringLiteral("З вівторка|12 годин"), QStringLiteral("Розклад"),
                              QStringLiteral("З ранку|8 годин"), QStringLiteral("О 9|З обідом")};
    rows = rowsOf(kept);
    repairColumnDigits(rows);
    QCOMPARE(linesOf(rows), kept);
}

void ScriptRepairTest::lineWithoutWordsToGoByTakesThePagesAlphabet() {
    // A name over a chat message, read in Latin look-alikes with the engine sure of it.
    const QStringList name = {QStringLiteral("Tapac"), QStringLiteral("10:12")};
    const QList<float> sure = {95, 96};
    QCOMPARE(repairWords(name, sure, true),
             QStringList({QStringLiteral("Тарас"), QStringLiteral("10:12")}));
    // On a page without Ukrainian, or beside an English word, it stays as read.
    QCOMPARE(repairWords(name, sure, false), name);
    const QStringList english = {QStringLiteral("Tapac"), QStringLiteral("says")};
    QCOMPARE(repairWords(english, sure, true), english);

    // Which pages show Ukrainian: a word with a letter only Cyrillic has, not in a path.
    QVERIFY(showsUkrainian(rowsOf({QStringLiteral("Tapac 10:12"), QStringLiteral("Так, дякую")})));
    QVERIFY(
        !showsUkrainian(rowsOf({QStringLiteral("Tapac 10:12"), QStringLiteral("/home/дякую")})));
}

QTEST_APPLESS_MAIN(ScriptRepairTest)
#include "ScriptRepairTest.moc"
