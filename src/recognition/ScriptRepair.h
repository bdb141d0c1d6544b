#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "recognition/TextLayout.h"

namespace ivra {

// Reading Ukrainian and English together, Tesseract now and then writes a word in the
// wrong alphabet where the two share letter shapes: "а" (Cyrillic) in an English sentence,
// "i" (Latin) as the Ukrainian conjunction "і", "| think" for "I think". Such text looks
// right but breaks searching and spell checking once pasted. The digits 3 and 0 share shapes
// with the Cyrillic "з" and "о" the same way ("3а" for "за", "З" for a lone 3). This puts the
// shared-shape letters of one recognised line back into the alphabet that their word, or for
// short words the surrounding words, are written in, and such digits and letters back into
// what their place in the line calls for; numbers ("3", "2026", "3D", "10-й") stay as read.
//
// Beyond letters, whole words: a word written entirely in look-alikes of the other alphabet
// ("BiKHo", "3MicT" for "Вікно", "Зміст") is rewritten when the words around it, or the
// engine's doubt, say so and the language's dictionary knows the rewritten word and the
// other's does not know it as written; misread key names ("Ctri+O") become the key's name.
// Numbers, paths, URLs and code stay as read.
QString repairMixedScripts(const QString& line);

// The same for the words of one line (in reading order) with the engine's confidence in
// each (0-100); returns as many words. `cyrillicOnPage`: Ukrainian words stand elsewhere
// on the page, which counts for a line that has no word to go by.
QStringList repairWords(const QStringList& words, const QList<float>& confidences,
                        bool cyrillicOnPage = false);

// Whether any row holds a word with a letter only the Cyrillic alphabet has.
bool showsUkrainian(const std::vector<LaidOutRow>& rows);

// The same for a laid-out row, each cell on its own.
void repairRowScripts(LaidOutRow& row, bool cyrillicOnPage);

// In a column of cells that begin with a number (sizes, counts, dates), a cell beginning
// with a lone "З" or "О" begins with the digit 3 or 0 ("З об'єкти" among "7 об'єктів" and
// "48 об'єктів"). Columns are the cells at the same place in consecutive rows of two or
// more cells.
void repairColumnDigits(std::vector<LaidOutRow>& rows);

// Whether a word reads as a keyboard shortcut ("Ctrl+S", also as misread: "Ctri+S",
// "Ctrl4w").
bool looksLikeShortcut(const QString& word);

// Whether a word list knows a word (any case); the Ukrainian list only for words made of
// letters that have Latin look-alikes. Lists are read once, from the Debian packages
// wamerican and wukrainian; without them nothing is known.
bool isEnglishWord(const QString& word);
bool isUkrainianWord(const QString& word);

} // namespace ivra
