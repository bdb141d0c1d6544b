#pragma once

#include <QString>

namespace ivra {

// Reading Ukrainian and English together, Tesseract now and then writes a word in the
// wrong alphabet where the two share letter shapes: "а" (Cyrillic) in an English sentence,
// "i" (Latin) as the Ukrainian conjunction "і", "| think" for "I think". Such text looks
// right but breaks searching and spell checking once pasted. The digits 3 and 0 share shapes
// with the Cyrillic "з" and "о" the same way ("3а" for "за", "З" for a lone 3). This puts the
// shared-shape letters of one recognised line back into the alphabet that their word, or for
// short words the surrounding words, are written in, and such digits and letters back into
// what their place in the line calls for; numbers ("3", "2026", "3D", "10-й") stay as read.
QString repairMixedScripts(const QString& line);

} // namespace ivra
