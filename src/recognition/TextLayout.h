#pragma once

#include <cstdint>
#include <vector>

#include <QImage>
#include <QPoint>
#include <QRect>

#include "recognition/TesseractEngine.h"

namespace ivra {

// Screens are laid out in panels, menus, tables and side-by-side panes; Tesseract's own page
// analysis reads them column by column or merges neighbouring panes into one line. Ivra
// finds the text runs itself, has each one read on its own (in parallel), and puts the words
// back together from their boxes.

// A stretch of text on one visual line without a wide gap inside: a line of a paragraph, a
// menu item, its shortcut, a table cell.
struct TextRun {
    QRect box;                // in page pixels
    double glyphPx = 0;       // the median height of its characters
    std::vector<int32_t> ink; // the ink components (labels) it is made of, ascending
};

// The text runs of a flattened page (dark ink on white, see flattenWithBackground), and what
// the layout needs besides: which ink belongs to which component, and the long thin rules
// (dividers, grid lines) that were set aside.
struct PageSegmentation {
    int width = 0;
    int height = 0;
    std::vector<int32_t> labels; // per pixel: 0 for no ink, else the component's label
    std::vector<TextRun> runs;
};
PageSegmentation findTextRuns(const QImage& ink);

// One run cut out for recognition: its own ink only (neighbouring runs, frames, rules
// whitened), its contrast stretched, scaled to the character height recognition likes and
// padded. `pageAt` maps a point of `grey` back to the page.
struct RunImage {
    QImage grey;
    double scale = 1;
    QPoint origin; // page position of the crop's top left corner
    int padding = 0;
    QRect pageRect(const QRect& inImage) const;
};
RunImage runImage(const QImage& ink, const PageSegmentation& page, const TextRun& run);

// A run after recognition, word boxes in page pixels.
struct ReadRun {
    QRect box;
    double glyphPx = 0;
    std::vector<RecognizedWord> words;
};

// One output line: its cells left to right, each a list of words.
using LaidOutRow = std::vector<std::vector<RecognizedWord>>;

// Puts read runs into reading order: runs that line up in rows with runs beside them
// (menus, tables, forms) become rows of cells; runs stacked into independent blocks side
// by side (panes, text columns, grounds of their own, a divider between them) come out one
// block after the other, left first; blocks top to bottom. `ink` and `background` are the
// flattened page and its ground (see flattenWithBackground).
std::vector<LaidOutRow> layOutRows(const std::vector<ReadRun>& runs, const QImage& ink,
                                   const QImage& background);

// Debian's Ukrainian model has no "ґ" and reads it as "г". Where a "г" or "Г" read from
// `line` (the image the words' boxes refer to, dark text on white) rises clearly above the
// letters beside it, as only the upturn of "ґ" and "Ґ" does, it is written so.
void restoreUpturnedGhe(std::vector<RecognizedWord>& words, const QImage& line);

// Drops what an icon, a bullet of the interface or a mark next to text was read as: words
// without letters or digits, or single characters the engine doubts, at the start and end
// of a row and standing alone in a cell.
void dropIconWords(LaidOutRow& row);

} // namespace ivra
