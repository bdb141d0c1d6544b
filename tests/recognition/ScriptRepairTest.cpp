#include <QTest>

#include "recognition/ScriptRepair.h"

using namespace ivra;

class ScriptRepairTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void repairsLettersOfTheWrongAlphabet_data();
    void repairsLettersOfTheWrongAlphabet();
};

void ScriptRepairTest::repairsLettersOfTheWrongAlphabet_data() {
    QTest::addColumn<QString>("recognised");
    QTest::addColumn<QString>("expected");

    // Short words take the alphabet of the words around them.
    QTest::newRow("cyrillic a in english")
        << QStringLiteral("choose а folder") << QStringLiteral("choose a folder");
    QTest::newRow("latin i in ukrainian")
        << QStringLiteral("клавіш i звуків") << QStringLiteral("клавіш і звуків");
    QTest::newRow("cyrillic in, MB") << QStringLiteral("Saved іп Pictures, 1.4 МВ.")
                                     << QStringLiteral("Saved in Pictures, 1.4 MB.");
    QTest::newRow("line start") << QStringLiteral("І think so") << QStringLiteral("I think so");
    QTest::newRow("punctuation kept")
        << QStringLiteral("Ні, a (не) так") << QStringLiteral("Ні, а (не) так");
    // Letters inside one word follow the word's unmistakable letters.
    QTest::newRow("inside latin word")
        << QStringLiteral("Відкрити в Firеfox") << QStringLiteral("Відкрити в Firefox");
    QTest::newRow("inside cyrillic word") << QStringLiteral("у Kиєві") << QStringLiteral("у Києві");
    // A bar before a lower-case word is a letter; between capitalised words, a separator.
    QTest::newRow("bar as I") << QStringLiteral("a bug? | think")
                              << QStringLiteral("a bug? I think");
    QTest::newRow("bar as і") << QStringLiteral("клавіш | звуків")
                              << QStringLiteral("клавіш і звуків");
    QTest::newRow("bar separator")
        << QStringLiteral("File | Edit | View") << QStringLiteral("File | Edit | View");
    // Digits shaped like "з" and "о" inside Ukrainian words, and those letters for digits.
    QTest::newRow("3a in ukrainian")
        << QStringLiteral("Звіт 3a квартал") << QStringLiteral("Звіт за квартал");
    QTest::newRow("digits in words")
        << QStringLiteral("3а рік зр0сло, 3і мною") << QStringLiteral("За рік зросло, зі мною");
    QTest::newRow("З in english") << QStringLiteral("Quarterly report, draft З, is ready")
                                  << QStringLiteral("Quarterly report, draft 3, is ready");
    QTest::newRow("capitals mid-sentence") << QStringLiteral("о З годині, а O відновлено")
                                           << QStringLiteral("о 3 годині, а 0 відновлено");

    // Left alone: neighbours disagree, no neighbours, or words long enough to be meant.
    QTest::newRow("between alphabets")
        << QStringLiteral("Відкрити в Firefox") << QStringLiteral("Відкрити в Firefox");
    QTest::newRow("alone") << QStringLiteral("OK") << QStringLiteral("OK");
    QTest::newRow("quoted english button") << QStringLiteral("натисніть Copy щоб скопіювати")
                                           << QStringLiteral("натисніть Copy щоб скопіювати");
    QTest::newRow("digits only") << QStringLiteral("12:45 3/4") << QStringLiteral("12:45 3/4");
    QTest::newRow("numbers in ukrainian")
        << QStringLiteral("з 2026 року в 3D на 10-й раз, 3мм за 5хв, 30 знімків, 3-я")
        << QStringLiteral("з 2026 року в 3D на 10-й раз, 3мм за 5хв, 30 знімків, 3-я");
    QTest::newRow("english capital O")
        << QStringLiteral("type O blood, draft O") << QStringLiteral("type O blood, draft O");
    QTest::newRow("preposition capitalised") << QStringLiteral("Лист. З Одеси, ЛИСТ З ОДЕСИ")
                                             << QStringLiteral("Лист. З Одеси, ЛИСТ З ОДЕСИ");
    QTest::newRow("empty") << QString() << QString();
}

void ScriptRepairTest::repairsLettersOfTheWrongAlphabet() {
    QFETCH(QString, recognised);
    QFETCH(QString, expected);
    QCOMPARE(repairMixedScripts(recognised), expected);
}

QTEST_APPLESS_MAIN(ScriptRepairTest)
#include "ScriptRepairTest.moc"
