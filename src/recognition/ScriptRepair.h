#pragma once

#include <QString>

namespace ivra {

// Reading Ukrainian and English together, Tesseract now and then writes a word in the
// wrong alphabet where the two share letter shapes: "а" (Cyrillic) in an English sentence,
// "i" (Latin) as the Ukrainian conjunction "і", "| think" for "I think". Such text looks
// right but breaks searching and spell checking once pasted. This puts the shared-shape
// letters of one recognised line back into the alphabet that their word, or for short words
// the surrounding words, are written in.
QString repairMixedScripts(const QString& line);

} // namespace ivra
