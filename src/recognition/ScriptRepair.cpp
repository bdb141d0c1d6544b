#include "recognition/ScriptRepair.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <QStringList>

namespace ivra {

namespace {

enum class Script { Latin, Cyrillic };

// Latin and Cyrillic letters that look alike, or that Tesseract confuses, in pairs.
constexpr std::pair<char16_t, char16_t> kLookAlikes[] = {
    {u'a', u'а'}, {u'c', u'с'}, {u'e', u'е'}, {u'i', u'і'}, {u'o', u'о'},
    {u'p', u'р'}, {u'x', u'х'}, {u'y', u'у'}, {u'n', u'п'}, {u'r', u'г'},
    {u'k', u'к'}, {u'u', u'и'}, {u'A', u'А'}, {u'B', u'В'}, {u'C', u'С'},
    {u'E', u'Е'}, {u'H', u'Н'}, {u'I', u'І'}, {u'K', u'К'}, {u'M', u'М'},
    {u'O', u'О'}, {u'P', u'Р'}, {u'T', u'Т'}, {u'X', u'Х'}, {u'Y', u'У'},
};

// The digits that Tesseract reads for Cyrillic letters of the same shape, and back.
constexpr std::pair<char16_t, char16_t> kDigitLookAlikes[] = {{u'3', u'з'}, {u'0', u'о'}};

// Words this short are judged by their neighbours; longer all-look-alike words ("Open",
// "Copy") are left alone, since a Ukrainian line may well quote an English button.
constexpr int kMaxContextWordLetters = 3;

std::optional<Script> scriptOf(QChar c) {
    switch (c.script()) {
    case QChar::Script_Latin:
        return Script::Latin;
    case QChar::Script_Cyrillic:
        return Script::Cyrillic;
    default:
        return std::nullopt;
    }
}

// The same-looking letter of the other alphabet, if there is one.
std::optional<QChar> twinOf(QChar c) {
    for (const auto& [latin, cyrillic] : kLookAlikes) {
        if (c == QChar(latin)) {
            return QChar(cyrillic);
        }
        if (c == QChar(cyrillic)) {
            return QChar(latin);
        }
    }
    return std::nullopt;
}

struct WordScripts {
    int latin = 0;
    int cyrillic = 0;
    bool latinEvidence = false;    // a Latin letter with no Cyrillic twin
    bool cyrillicEvidence = false; // a Cyrillic letter with no Latin twin

    int letters() const { return latin + cyrillic; }
    // The alphabet the word's unmistakable letters belong to, if they agree.
    std::optional<Script> evidence() const {
        if (latinEvidence == cyrillicEvidence) {
            return std::nullopt;
        }
        return latinEvidence ? Script::Latin : Script::Cyrillic;
    }
};

WordScripts analyse(const QString& word) {
    WordScripts scripts;
    for (const QChar c : word) {
        const auto script = scriptOf(c);
        if (!script) {
            continue;
        }
        const bool unmistakable = !twinOf(c);
        if (*script == Script::Latin) {
            ++scripts.latin;
            scripts.latinEvidence |= unmistakable;
        } else {
            ++scripts.cyrillic;
            scripts.cyrillicEvidence |= unmistakable;
        }
    }
    return scripts;
}

// Rewrites the word's letters into `target` where a twin exists.
QString writtenIn(const QString& word, Script target) {
    QString result = word;
    for (QChar& c : result) {
        const auto script = scriptOf(c);
        if (script && *script != target) {
            if (const auto twin = twinOf(c)) {
                c = *twin;
            }
        }
    }
    return result;
}

// The alphabet of the nearest word, before or after `index`, that has unmistakable letters.
std::optional<Script> neighbourEvidence(const QStringList& words, qsizetype index, int step) {
    for (qsizetype i = index + step; i >= 0 && i < words.size(); i += step) {
        if (const auto evidence = analyse(words[i]).evidence()) {
            return evidence;
        }
    }
    return std::nullopt;
}

// The script both sides agree on; one side is enough when the other has no words.
std::optional<Script> contextScript(const QStringList& words, qsizetype index) {
    const auto before = neighbourEvidence(words, index, -1);
    const auto after = neighbourEvidence(words, index, +1);
    if (before && after && *before != *after) {
        return std::nullopt;
    }
    return before ? before : after;
}

// The alphabet a word is written in: its own unmistakable letters, or for a short word of
// shared-shape letters only, its neighbours'.
std::optional<Script> wordScript(const QStringList& words, qsizetype index,
                                 const WordScripts& scripts) {
    if (const auto own = scripts.evidence()) {
        return own;
    }
    if (scripts.latinEvidence || scripts.letters() > kMaxContextWordLetters) {
        return std::nullopt; // unmistakable letters of both alphabets, or too long to judge
    }
    return contextScript(words, index);
}

bool endsSentence(const QString& word) {
    return !word.isEmpty() && QStringView(u".!?…").contains(word.back());
}

bool startsSentence(const QStringList& words, qsizetype index) {
    return index == 0 || endsSentence(words[index - 1]);
}

bool isLowerCyrillic(QChar c) {
    return c.isLower() && scriptOf(c) == Script::Cyrillic;
}

bool isCyrillicVowel(QChar c) {
    return QStringView(u"аеєиіїоуюя").contains(c);
}

std::optional<QChar> letterForDigit(QChar c) {
    for (const auto& [digit, letter] : kDigitLookAlikes) {
        if (c == QChar(digit)) {
            return QChar(letter);
        }
    }
    return std::nullopt;
}

// The digit a capital "З" or "О" (or the Latin "O" read in its place) stands for.
std::optional<QChar> digitForCapital(QChar c) {
    for (const auto& [digit, letter] : kDigitLookAlikes) {
        const QChar capital = QChar(letter).toUpper();
        if (c == capital || c == twinOf(capital)) {
            return QChar(digit);
        }
    }
    return std::nullopt;
}

// A 3 or 0 joined to lower-case Cyrillic letters as no number is: between two of them
// ("зр0сло"), or first and followed by a vowel ("3а", "3і", "3о"). Quantities keep their
// digits: a digit next to another or to punctuation ("30", "10-й") is left alone, units
// written on ("3мм", "3хв") start with a consonant, and Latin letters do not count ("3D").
QString withLettersForDigits(const QString& word, bool sentenceStart) {
    QString result = word;
    for (qsizetype k = 0; k < word.size(); ++k) {
        const auto letter = letterForDigit(word[k]);
        if (!letter) {
            continue;
        }
        const QChar before = k > 0 ? word[k - 1] : QChar();
        const QChar after = k + 1 < word.size() ? word[k + 1] : QChar();
        const bool first = std::none_of(word.begin(), word.begin() + k,
                                        [](QChar c) { return c.isLetterOrNumber(); });
        if (isLowerCyrillic(before) && isLowerCyrillic(after)) {
            result[k] = *letter;
        } else if (first && isLowerCyrillic(after) && isCyrillicVowel(after)) {
            result[k] = sentenceStart ? letter->toUpper() : *letter;
        }
    }
    return result;
}

// A lone capital "З" or "О" is the digit 3 or 0 where the Ukrainian preposition cannot
// stand capitalised: between lower-case Ukrainian words in mid-sentence ("о З годині"),
// and for "З", which has no Latin twin, among English words ("draft З"). Capitals all
// around mean a heading, where it is the preposition.
std::optional<QChar> digitForLoneCapital(const QStringList& words, qsizetype index) {
    const QString& word = words[index];
    if (word.isEmpty() ||
        !std::all_of(word.begin() + 1, word.end(), [](QChar c) { return c.isPunct(); })) {
        return std::nullopt;
    }
    const auto digit = digitForCapital(word[0]);
    if (!digit) {
        return std::nullopt;
    }
    const auto context = contextScript(words, index);
    if (*digit == u'3' && context == Script::Latin) {
        return digit;
    }
    if (context != Script::Cyrillic) {
        return std::nullopt;
    }
    const auto hasLowerCase = [](const QString& w) {
        return std::any_of(w.begin(), w.end(), [](QChar c) { return c.isLower(); });
    };
    const bool midSentence = !startsSentence(words, index) && hasLowerCase(words[index - 1]);
    const bool lowerCaseNext =
        index + 1 < words.size() && !words[index + 1].isEmpty() && words[index + 1][0].isLower();
    return midSentence && lowerCaseNext ? digit : std::nullopt;
}

} // namespace

QString repairMixedScripts(const QString& line) {
    QStringList words = line.split(QLatin1Char(' '));
    const QStringList original = words;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = original[i];
        const WordScripts scripts = analyse(word);

        if (word == QStringLiteral("|")) {
            // A lone bar before a lower-case word is the capital I of English or the
            // Ukrainian conjunction "і"; as a separator it stands between capitalised words.
            const bool beforeLowerCase = i + 1 < original.size() && !original[i + 1].isEmpty() &&
                                         original[i + 1][0].isLower();
            const auto context = contextScript(original, i);
            if (beforeLowerCase && context) {
                words[i] = *context == Script::Latin ? QStringLiteral("I") : QStringLiteral("і");
            }
            continue;
        }
        if (const auto digit = digitForLoneCapital(original, i)) {
            words[i][0] = *digit;
            continue;
        }
        if (scripts.letters() == 0) {
            continue; // numbers and punctuation stay as read
        }
        if (const auto script = wordScript(original, i, scripts)) {
            words[i] = writtenIn(word, *script);
            if (*script == Script::Cyrillic) {
                words[i] = withLettersForDigits(words[i], startsSentence(original, i));
            }
        }
    }
    return words.join(QLatin1Char(' '));
}

} // namespace ivra
