#include "recognition/ScriptRepair.h"

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
        if (scripts.letters() == 0) {
            continue;
        }
        if (const auto own = scripts.evidence()) {
            // Mixed within the word: its unmistakable letters decide.
            if (scripts.latin > 0 && scripts.cyrillic > 0) {
                words[i] = writtenIn(word, *own);
            }
            continue;
        }
        if (scripts.latinEvidence || scripts.letters() > kMaxContextWordLetters) {
            continue; // unmistakable letters of both alphabets, or too long to judge
        }
        if (const auto context = contextScript(original, i)) {
            words[i] = writtenIn(word, *context);
        }
    }
    return words.join(QLatin1Char(' '));
}

} // namespace ivra
