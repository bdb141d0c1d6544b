#include "recognition/ScriptRepair.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <utility>

#include <QFile>
#include <QSet>
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

// Letters of words that are technical rather than language: paths, URLs, e-mail addresses,
// file names, code. Such words are left as read.
bool isTechnical(const QString& word) {
    qsizetype first = 0;
    qsizetype last = word.size();
    while (first < last && QStringView(u"(«\"'“„[").contains(word[first])) {
        ++first;
    }
    while (last > first && QStringView(u".,:;!?)»\"'”…]").contains(word[last - 1])) {
        --last;
    }
    const QStringView core = QStringView(word).mid(first, last - first);
    for (qsizetype k = 0; k < core.size(); ++k) {
        const QChar c = core[k];
        if (QStringView(u"/\\_=(){}[]<>;@#$%&*~`|^").contains(c)) {
            return true;
        }
        if ((c == u'.' || c == u':') && k > 0 && k + 1 < core.size() &&
            core[k - 1].isLetterOrNumber() && core[k + 1].isLetter()) {
            return true;
        }
    }
    return false;
}

QStringList repairLetters(const QStringList& line) {
    QStringList words = line;
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
        if (scripts.letters() == 0 || isTechnical(word)) {
            continue; // numbers, punctuation, paths and code stay as read
        }
        if (const auto script = wordScript(original, i, scripts)) {
            words[i] = writtenIn(word, *script);
            if (*script == Script::Cyrillic) {
                words[i] = withLettersForDigits(words[i], startsSentence(original, i));
            }
        }
    }
    return words;
}

// Word lists, read once. Only lower-case forms are kept.
class WordLists {
public:
    static const WordLists& instance() {
        static const WordLists lists;
        return lists;
    }
    bool english(const QString& word) const { return m_english.contains(word.toLower()); }
    bool ukrainian(const QString& word) const { return m_ukrainian.contains(word.toLower()); }

private:
    WordLists() {
        read("/usr/share/dict/american-english",
             [&](const QString& word) { m_english.insert(word.toLower()); });
        // 1.5 million forms; only those a misreading could produce are needed here.
        read("/usr/share/dict/ukrainian", [&](const QString& word) {
            const QString lower = word.toLower();
            if (std::all_of(lower.begin(), lower.end(), [](QChar c) {
                    return twinOf(c).has_value() || twinOf(c.toUpper()).has_value() || c == u'з' ||
                           c == u'\'';
                })) {
                m_ukrainian.insert(lower);
            }
        });
    }
    template <typename Take> static void read(const char* path, Take take) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly)) {
            return;
        }
        const QByteArray all = file.readAll();
        qsizetype start = 0;
        while (start < all.size()) {
            qsizetype end = all.indexOf('\n', start);
            if (end < 0) {
                end = all.size();
            }
            if (end > start) {
                take(QString::fromUtf8(all.constData() + start, end - start));
            }
            start = end + 1;
        }
    }
    QSet<QString> m_english;
    QSet<QString> m_ukrainian;
};

// Latin letters and digits that a Cyrillic letter was read as, beyond the twins.
std::optional<QChar> cyrillicFor(QChar c, bool first) {
    if (c == u'3') {
        return first ? QChar(u'З') : QChar(u'з');
    }
    if (c == u'0') {
        return first ? QChar(u'О') : QChar(u'о');
    }
    if (scriptOf(c) == Script::Latin) {
        return twinOf(c);
    }
    return std::nullopt;
}

struct Core {
    qsizetype first = 0;
    qsizetype last = 0; // one past the end
};

Core coreOf(const QString& word) {
    Core core{0, word.size()};
    while (core.first < core.last && !word[core.first].isLetterOrNumber()) {
        ++core.first;
    }
    while (core.last > core.first && !word[core.last - 1].isLetterOrNumber()) {
        --core.last;
    }
    return core;
}

// Casing of a rewritten word: capitals throughout stay so, otherwise the first letter keeps
// its case and the rest are small (engines read small "к", "н", "т" as capitals).
QString recased(const QString& written, const QString& read) {
    const bool allCapitals = read.size() > 1 && std::none_of(read.begin(), read.end(),
                                                             [](QChar c) { return c.isLower(); });
    if (allCapitals) {
        return written.toUpper();
    }
    QString result = written.toLower();
    if (!read.isEmpty() && (read[0].isUpper() || read[0] == u'3' || read[0] == u'0')) {
        result[0] = result[0].toUpper();
    }
    return result;
}

bool oddlyCased(const QString& core) {
    // A capital after a small letter, or a digit among letters.
    for (qsizetype k = 1; k < core.size(); ++k) {
        if ((core[k].isUpper() && core[k - 1].isLower()) ||
            (core[k].isDigit() && core[k - 1].isLetter()) ||
            (core[k].isLetter() && core[k - 1].isDigit())) {
            return true;
        }
    }
    return false;
}

// Below this confidence the engine's own reading of a lone word is not trusted over the
// dictionary (measured).
constexpr float kSureConfidence = 85;

std::optional<QString> wordInCyrillic(const QString& word, float confidence,
                                      std::optional<Script> context, bool cyrillicOnPage) {
    if (context == Script::Latin || isTechnical(word)) {
        return std::nullopt;
    }
    const Core core = coreOf(word);
    const QString read = word.mid(core.first, core.last - core.first);
    int latin = 0;
    int letters = 0;
    QString written;
    for (qsizetype k = 0; k < read.size(); ++k) {
        const auto cyrillic = cyrillicFor(read[k], k == 0);
        if (!cyrillic) {
            return std::nullopt;
        }
        latin += scriptOf(read[k]) == Script::Latin ? 1 : 0;
        letters += read[k].isLetter() ? 1 : 0;
        written.append(*cyrillic);
    }
    if (latin == 0 || letters < 2 || read.size() < 3) {
        return std::nullopt;
    }
    // An English word stays English unless the words around are Ukrainian and the engine
    // itself doubts it.
    if (isEnglishWord(read) && (context != Script::Cyrillic || confidence >= kSureConfidence)) {
        return std::nullopt;
    }
    const WordLists& lists = WordLists::instance();
    if (!lists.ukrainian(written)) {
        return std::nullopt;
    }
    // A word the engine is sure of stays as read, unless Ukrainian words stand around it: on
    // its line, or when its line has no word to go by, elsewhere on the page (a name over a
    // chat message, "Tapac 10:12").
    const bool amongUkrainian = context == Script::Cyrillic || (!context && cyrillicOnPage);
    if (!amongUkrainian && confidence >= kSureConfidence && !oddlyCased(read)) {
        return std::nullopt;
    }
    return word.left(core.first) + recased(written, read) + word.mid(core.last);
}

std::optional<QString> wordInLatin(const QString& word, std::optional<Script> context) {
    if (context != Script::Latin || isTechnical(word)) {
        return std::nullopt;
    }
    const Core core = coreOf(word);
    const QString read = word.mid(core.first, core.last - core.first);
    if (read.size() < 3) {
        return std::nullopt;
    }
    QString written;
    for (const QChar c : read) {
        if (scriptOf(c) != Script::Cyrillic || !twinOf(c)) {
            return std::nullopt;
        }
        written.append(*twinOf(c));
    }
    if (isUkrainianWord(read) || !isEnglishWord(written)) {
        return std::nullopt;
    }
    return word.left(core.first) + written + word.mid(core.last);
}

// The script most words of the line show by their unmistakable letters, other than the
// word at `index`.
std::optional<Script> lineScript(const QStringList& words, qsizetype index) {
    int latin = 0;
    int cyrillic = 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (i == index || isTechnical(words[i])) {
            continue;
        }
        const auto evidence = analyse(words[i]).evidence();
        latin += evidence == Script::Latin ? 1 : 0;
        cyrillic += evidence == Script::Cyrillic ? 1 : 0;
    }
    if (latin == cyrillic) {
        return std::nullopt;
    }
    return latin > cyrillic ? Script::Latin : Script::Cyrillic;
}

// Key names, and how they compare with the letters they get misread as.
constexpr const char16_t* kKeyNames[] = {
    u"Ctrl",  u"Shift",  u"Alt",   u"AltGr",     u"Super",  u"Meta",     u"Tab",    u"Esc",
    u"Enter", u"Return", u"Space", u"Backspace", u"Delete", u"Del",      u"Insert", u"Ins",
    u"Home",  u"End",    u"PgUp",  u"PgDn",      u"PageUp", u"PageDown", u"Print",  u"Up",
    u"Down",  u"Left",   u"Right", u"Cmd",       u"Win",    u"Fn",
};

QString keyShape(const QString& text) {
    QString shape;
    for (QChar c : text) {
        if (scriptOf(c) == Script::Cyrillic) {
            c = twinOf(c).value_or(c);
        }
        c = c.toLower();
        if (QStringView(u"li1|!").contains(c)) {
            c = u'l';
        } else if (c == u'f') {
            c = u't';
        } else if (c == u'0') {
            c = u'o';
        }
        shape.append(c);
    }
    return shape;
}

std::optional<QString> keyNamed(const QString& part) {
    const QString shape = keyShape(part);
    for (const char16_t* name : kKeyNames) {
        const QString key = QString::fromUtf16(name);
        if (key.size() == part.size() && keyShape(key) == shape) {
            return key;
        }
    }
    return std::nullopt;
}

// Modifiers, which a shortcut names before its key.
constexpr const char16_t* kModifierNames[] = {u"Ctrl", u"Shift", u"Alt", u"Super"};

// Edits (letters changed, added or dropped) between two short texts.
qsizetype editDistance(const QString& a, const QString& b) {
    std::vector<qsizetype> row(static_cast<size_t>(b.size()) + 1);
    std::iota(row.begin(), row.end(), 0);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[static_cast<size_t>(j)];
            row[static_cast<size_t>(j)] = std::min({above + 1, row[static_cast<size_t>(j - 1)] + 1,
                                                    diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

// The modifier a part of a shortcut was read for: its shape, or one letter off it ("Ctril",
// "Crrl", "Shitt").
std::optional<QString> modifierNamed(const QString& part) {
    if (part.size() < 3) {
        return std::nullopt;
    }
    const QString shape = keyShape(part);
    for (const char16_t* name : kModifierNames) {
        const QString modifier = QString::fromUtf16(name);
        if (editDistance(shape, keyShape(modifier)) <= (modifier.size() >= 4 ? 1 : 0)) {
            return modifier;
        }
    }
    return std::nullopt;
}

// A shortcut as a menu shows it: modifiers, then the key ("Ctrl+Shift+S"). Read, the plus
// may come out as "4" or "4+", a modifier a letter off, a letter key in lower case.
std::optional<QString> shortcutRead(const QString& read) {
    QString text = read;
    // "Ctrl4+Z", "Ctrl4w": a plus read as a four after a modifier.
    for (const char16_t* name : kModifierNames) {
        const QString modifier = QString::fromUtf16(name);
        for (qsizetype end = 3; end <= std::min<qsizetype>(text.size() - 2, modifier.size() + 1);
             ++end) {
            if (text[end] == u'4' && modifierNamed(text.left(end)) == modifier) {
                text = text.left(end) + u'+' + text.mid(text[end + 1] == u'+' ? end + 2 : end + 1);
                break;
            }
        }
    }
    QStringList parts = text.split(u'+');
    if (parts.size() < 2 || parts.last().isEmpty()) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const auto modifier = modifierNamed(parts[i]);
        if (!modifier) {
            return std::nullopt;
        }
        parts[i] = *modifier;
    }
    QString& key = parts.last();
    if (key.size() == 1) {
        key = key.toUpper();
    } else if (const auto named = keyNamed(key)) {
        key = *named;
    }
    return parts.join(u'+');
}

// "Ctri+O" is "Ctrl+O"; a lone "Ctri" too, when it is no word.
std::optional<QString> repairedShortcut(const QString& word) {
    const Core core = coreOf(word);
    const QString read = word.mid(core.first, core.last - core.first);
    if (const auto shortcut = shortcutRead(read)) {
        if (*shortcut == read) {
            return std::nullopt;
        }
        return word.left(core.first) + *shortcut + word.mid(core.last);
    }
    if (read.contains(u'+')) {
        QStringList parts = read.split(u'+');
        bool changed = false;
        for (QString& part : parts) {
            if (part.size() >= 2) {
                if (const auto key = keyNamed(part); key && *key != part) {
                    part = *key;
                    changed = true;
                }
            }
        }
        if (changed) {
            return word.left(core.first) + parts.join(u'+') + word.mid(core.last);
        }
        return std::nullopt;
    }
    if (read.size() >= 4 && !isEnglishWord(read)) {
        if (const auto key = keyNamed(read); key && *key != read) {
            return word.left(core.first) + *key + word.mid(core.last);
        }
    }
    return std::nullopt;
}

} // namespace

bool looksLikeShortcut(const QString& word) {
    const Core core = coreOf(word);
    return shortcutRead(word.mid(core.first, core.last - core.first)).has_value();
}

bool isEnglishWord(const QString& word) {
    return WordLists::instance().english(word);
}

bool isUkrainianWord(const QString& word) {
    return WordLists::instance().ukrainian(word);
}

QStringList repairWords(const QStringList& line, const QList<float>& confidences,
                        bool cyrillicOnPage) {
    QStringList words = repairLetters(line);
    const QStringList lettered = words;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (const auto shortcut = repairedShortcut(lettered[i])) {
            words[i] = *shortcut;
            continue;
        }
        const float confidence = i < confidences.size() ? confidences[i] : 100;
        const auto context = lineScript(lettered, i);
        if (const auto cyrillic =
                wordInCyrillic(lettered[i], confidence, context, cyrillicOnPage)) {
            words[i] = *cyrillic;
        } else if (const auto latin = wordInLatin(lettered[i], context)) {
            words[i] = *latin;
        }
    }
    return words;
}

QString repairMixedScripts(const QString& line) {
    return repairWords(line.split(QLatin1Char(' ')), {}).join(QLatin1Char(' '));
}

bool showsUkrainian(const std::vector<LaidOutRow>& rows) {
    for (const LaidOutRow& row : rows) {
        for (const auto& cell : row) {
            for (const RecognizedWord& word : cell) {
                if (!isTechnical(word.text) && analyse(word.text).evidence() == Script::Cyrillic) {
                    return true;
                }
            }
        }
    }
    return false;
}

void repairRowScripts(LaidOutRow& row, bool cyrillicOnPage) {
    // Cells are read on their own: a table's columns may well be in different languages.
    for (auto& cell : row) {
        QStringList words;
        QList<float> confidences;
        for (const RecognizedWord& word : cell) {
            words.append(word.text);
            confidences.append(word.confidence);
        }
        const QStringList repaired = repairWords(words, confidences, cyrillicOnPage);
        for (qsizetype i = 0; i < repaired.size(); ++i) {
            cell[static_cast<size_t>(i)].text = repaired[i];
        }
    }
}

void repairColumnDigits(std::vector<LaidOutRow>& rows) {
    const auto isNumber = [](const QString& word) {
        return std::any_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); }) &&
               std::all_of(word.begin(), word.end(), [](QChar c) {
                   return c.isDigit() || c == u'.' || c == u',' || c == u':' || c == u'%';
               });
    };
    size_t first = 0;
    while (first < rows.size()) {
        size_t last = first;
        while (last < rows.size() && rows[last].size() >= 2) {
            ++last;
        }
        size_t columns = 0;
        for (size_t r = first; r < last; ++r) {
            columns = std::max(columns, rows[r].size());
        }
        for (size_t column = 0; column < columns; ++column) {
            int numbers = 0;
            int others = 0;
            std::vector<RecognizedWord*> doubtful;
            for (size_t r = first; r < last; ++r) {
                if (column >= rows[r].size() || rows[r][column].empty()) {
                    continue;
                }
                RecognizedWord& lead = rows[r][column].front();
                if (isNumber(lead.text)) {
                    ++numbers;
                } else if (lead.text.size() == 1 && digitForCapital(lead.text[0]) &&
                           rows[r][column].size() > 1) {
                    doubtful.push_back(&lead);
                } else {
                    ++others;
                }
            }
            if (numbers >= 2 && numbers > others) {
                for (RecognizedWord* word : doubtful) {
                    word->text = QString(*digitForCapital(word->text[0]));
                }
            }
        }
        first = last + 1;
    }
}

} // namespace ivra
