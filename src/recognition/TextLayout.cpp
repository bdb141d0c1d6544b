#include "recognition/TextLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "recognition/TextImagePreparation.h"
#include "recognition/UnionFind.h"

namespace ivra {

namespace {

// Values marked "measured" were chosen with bench_recognition's interface set; the set's
// error rate was flat around them.

// Flattened pixels darker than this are ink.
constexpr int kInkLevel = 160;
// Components lower than this share of the page's character height are marks (dots,
// commas, hyphens, diacritics) that join the run they lie in or next to.
constexpr double kMarkShare = 0.45;
// A gap this many character heights wide or wider separates runs: wider than a word space
// in proportional and monospaced fonts, narrower than table and menu columns (measured).
constexpr double kRunGapHeights = 1.8;
// ... and at least this many letter pitches (measured on at least this many steps between
// letters at least this share of the character height tall).
constexpr double kRunGapPitches = 1.6;
constexpr size_t kPitchMinSteps = 4;
constexpr double kPitchLetterShare = 0.6;
// Letters this many heights apart or nearer, side by side, are on one line.
constexpr double kLineLinkHeights = 3.0;
// Components whose heights differ more than this are not letters of one line (a picture).
constexpr double kMaxHeightRatio = 3.2;
// A component this many times taller than another beside it, and this many times the
// page's character height, joins it only when their middles lie within this share of its
// height (twice over: compared as sums).
constexpr double kTallPartRatio = 1.6;
constexpr double kTallPartHeights = 2.0;
constexpr double kTallPartCentring = 0.5;
// Hollow shapes this many character heights tall are frames (buttons, fields, boxes).
constexpr double kFrameHeights = 2.2;
constexpr double kFrameFill = 0.2;
// Icons: at least this wide for their height, this much taller than the run's tall letters,
// this many character heights apart from them; alone, this many character heights tall
// (measured).
constexpr double kIconMinAspect = 0.6;
constexpr double kIconTallness = 1.2;
constexpr double kIconGapHeights = 0.3;
constexpr double kLoneIconHeights = 1.8;
// No letter is this many times taller than the tallest of its neighbours, nor this many
// times the typical letter of a run of at least this many shapes.
constexpr double kNoLetterTallness = 2.0;
constexpr double kNoLetterMedianHeights = 2.5;
// Nor is one this many times taller and wider than it is tall.
constexpr double kWideNoLetterTallness = 1.5;
constexpr size_t kNoLetterMinParts = 3;
// Solid shapes (a filled folder, a square bullet) fill this share of their box or more;
// letters, even bold ones, leave much of theirs empty (measured).
constexpr double kSolidFill = 0.72;
// A line of one or two shapes this much lower than the page's characters is no line of
// text: punctuation, or what the corners of a rounded button or card leave (measured).
constexpr size_t kSliverParts = 2;
constexpr double kSliverHeights = 0.75;
// One shape this tall, or this many times the page's characters, on a line of its own is
// a picture (a disc, a logo, the edge of a button), not a letter.
constexpr int kLoneShapePx = 48;
constexpr double kLoneShapeHeights = 3.0;
// Long thin components are rules: across, longer than a few characters; upright, taller
// than any letter or bar character (a table's upright grid line between two rows).
constexpr int kRuleRatio = 10;
constexpr double kUprightRuleHeights = 2.2;
// Two stacked runs belong to one block when the gap between them is no more than this many
// run heights (measured).
constexpr double kStackGapHeights = 1.6;
// Grounds differing more than this are different panels.
constexpr int kGroundDifference = 28;
// Of the fewer runs of two stacks side by side, this share must have a partner on the same
// row for the stacks to be columns of one table (measured).
constexpr double kRowAlignedShare = 0.5;
// Prose: stacks of at least this many runs with at least this many words in a typical run.
constexpr size_t kProseRuns = 3;
constexpr size_t kProseWords = 4;
// A divider stands beside at least this many rows.
constexpr int kDividerRows = 2;
// A divider covers this share of the rows it stands beside.
constexpr double kDividerCover = 0.8;

struct Component {
    int left;
    int top;
    int right;
    int bottom;
    int area = 0;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    QRect rect() const { return QRect(QPoint(left, top), QPoint(right, bottom)); }
};

// 8-connected components of the ink, labelled from 1, by runs of ink per row.
std::vector<Component> labelInk(const QImage& ink, std::vector<int32_t>& labels) {
    const int width = ink.width();
    const int height = ink.height();
    labels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    struct Span {
        int x0;
        int x1;
        int32_t label;
    };
    std::vector<Span> previous;
    std::vector<Span> current;
    UnionFind spans(1); // label 0 is no ink
    const auto find = [&](int32_t i) {
        return static_cast<int32_t>(spans.find(static_cast<size_t>(i)));
    };
    for (int y = 0; y < height; ++y) {
        const uchar* line = ink.constScanLine(y);
        current.clear();
        size_t p = 0;
        for (int x = 0; x < width;) {
            if (line[x] >= kInkLevel) {
                ++x;
                continue;
            }
            const int x0 = x;
            while (x < width && line[x] < kInkLevel) {
                ++x;
            }
            const int x1 = x - 1;
            int32_t label = 0;
            while (p < previous.size() && previous[p].x1 < x0 - 1) {
                ++p;
            }
            for (size_t q = p; q < previous.size() && previous[q].x0 <= x1 + 1; ++q) {
                const int32_t other = find(previous[q].label);
                if (label == 0) {
                    label = other;
                } else if (other != label) {
                    label = static_cast<int32_t>(
                        spans.unite(static_cast<size_t>(label), static_cast<size_t>(other)));
                }
            }
            if (label == 0) {
                label = static_cast<int32_t>(spans.add());
            }
            current.push_back({x0, x1, label});
        }
        int32_t* row = labels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (const Span& span : current) {
            std::fill(row + span.x0, row + span.x1 + 1, span.label);
        }
        std::swap(previous, current);
    }
    // Final labels, numbered densely.
    std::vector<int32_t> dense(spans.size(), 0);
    int32_t count = 0;
    for (size_t i = 1; i < spans.size(); ++i) {
        const auto root = static_cast<size_t>(find(static_cast<int32_t>(i)));
        if (dense[root] == 0) {
            dense[root] = ++count;
        }
        dense[i] = dense[root];
    }
    std::vector<Component> components(static_cast<size_t>(count) + 1,
                                      Component{width, height, -1, -1, 0});
    for (int y = 0; y < height; ++y) {
        int32_t* row = labels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            if (row[x] == 0) {
                continue;
            }
            row[x] = dense[static_cast<size_t>(row[x])];
            Component& c = components[static_cast<size_t>(row[x])];
            c.left = std::min(c.left, x);
            c.right = std::max(c.right, x);
            c.top = std::min(c.top, y);
            c.bottom = std::max(c.bottom, y);
            ++c.area;
        }
    }
    return components;
}

double medianOf(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

int verticalOverlap(const QRect& a, const QRect& b) {
    return std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
}

int horizontalOverlap(const QRect& a, const QRect& b) {
    return std::min(a.right(), b.right()) - std::max(a.left(), b.left()) + 1;
}

bool sameRow(const QRect& a, const QRect& b) {
    return verticalOverlap(a, b) * 2 >= std::min(a.height(), b.height());
}

// Components side by side that overlap horizontally, as the parts of one icon or of one
// letter ("і", "й") do: [first, last) of `parts`, sorted by left edge.
struct Cluster {
    size_t first = 0;
    size_t last = 0;
    QRect box;
};

std::vector<Cluster> clustersOf(const std::vector<size_t>& parts,
                                const std::vector<Component>& components) {
    std::vector<Cluster> clusters;
    for (size_t i = 0; i < parts.size(); ++i) {
        const QRect r = components[parts[i]].rect();
        if (!clusters.empty() && r.left() <= clusters.back().box.right()) {
            clusters.back().last = i + 1;
            clusters.back().box |= r;
        } else {
            clusters.push_back({i, i + 1, r});
        }
    }
    return clusters;
}

// An icon beside text: at a run's start or end, apart from the letters, roughly square,
// and taller than the tall letters of the run; or standing alone, large and square (large
// for `loneGlyph`: the line's characters, or the page's when it stands on a line of its own).
void withoutIcons(std::vector<size_t>& parts, const std::vector<Component>& components,
                  double glyph, double loneGlyph) {
    // A shape far taller than the run's typical letter is none, even touching one (the
    // rounded end of a selected row's bar against the last letter).
    if (parts.size() >= kNoLetterMinParts) {
        std::vector<double> heights;
        for (const size_t p : parts) {
            heights.push_back(components[p].height());
        }
        const double typical = medianOf(heights);
        parts.erase(std::remove_if(parts.begin(), parts.end(),
                                   [&](size_t p) {
                                       return components[p].height() >=
                                              kNoLetterMedianHeights * typical;
                                   }),
                    parts.end());
    }
    const std::vector<Cluster> clusters = clustersOf(parts, components);
    if (clusters.empty()) {
        return;
    }
    const auto square = [](const QRect& r) { return r.width() >= kIconMinAspect * r.height(); };
    const auto solid = [&](const Cluster& cluster) {
        double area = 0;
        for (size_t k = cluster.first; k < cluster.last; ++k) {
            area += components[parts[k]].area;
        }
        return square(cluster.box) && cluster.box.height() >= glyph / 2 &&
               area >= kSolidFill * cluster.box.width() * cluster.box.height();
    };
    if (clusters.size() == 1) {
        const Cluster& only = clusters.front();
        if (square(only.box) &&
            (only.box.height() >= kLoneIconHeights * loneGlyph || solid(only))) {
            parts.clear();
        }
        return;
    }
    // The tall letters' height: the tallest cluster between the ends (a capital, a digit or
    // an ascender; a digit opening a cell is as tall as they are, an icon taller).
    int tall = 0;
    for (size_t k = 1; k + 1 < clusters.size(); ++k) {
        tall = std::max(tall, clusters[k].box.height());
    }
    if (tall == 0) {
        return;
    }
    const auto icon = [&](const Cluster& cluster, int gap) {
        // However near: a large icon, the rounded end of a coloured bar.
        if (cluster.box.height() >= kNoLetterTallness * tall ||
            (cluster.box.height() >= kWideNoLetterTallness * tall &&
             cluster.box.width() >= cluster.box.height())) {
            return true;
        }
        return gap >= kIconGapHeights * glyph &&
               ((square(cluster.box) && cluster.box.height() >= kIconTallness * tall) ||
                solid(cluster));
    };
    size_t first = 0;
    size_t last = parts.size();
    if (icon(clusters.front(), clusters[1].box.left() - clusters.front().box.right() - 1)) {
        first = clusters.front().last;
    }
    const Cluster& end = clusters.back();
    if (clusters.size() > 2 &&
        icon(end, end.box.left() - clusters[clusters.size() - 2].box.right() - 1)) {
        last = end.first;
    }
    parts = std::vector<size_t>(parts.begin() + static_cast<std::ptrdiff_t>(first),
                                parts.begin() + static_cast<std::ptrdiff_t>(last));
}

} // namespace

PageSegmentation findTextRuns(const QImage& ink) {
    PageSegmentation page;
    if (ink.isNull()) {
        return page;
    }
    page.width = ink.width();
    page.height = ink.height();
    const std::vector<Component> components = labelInk(ink, page.labels);

    std::vector<double> glyphHeights;
    for (size_t i = 1; i < components.size(); ++i) {
        const Component& c = components[i];
        if (c.height() >= 4 && c.width() <= 3 * c.height() &&
            (c.height() <= 4 * c.width() || c.height() <= 24)) {
            glyphHeights.push_back(c.height());
        }
    }
    const double pageGlyph = std::max(4.0, medianOf(glyphHeights));

    // Letters and what is as tall as them, and marks.
    std::vector<size_t> cores;
    std::vector<size_t> marks;
    for (size_t i = 1; i < components.size(); ++i) {
        const Component& c = components[i];
        const int w = c.width();
        const int h = c.height();
        const bool rule = (w >= kRuleRatio * h && w > 4 * pageGlyph) ||
                          (h >= kRuleRatio * w && h > kUprightRuleHeights * pageGlyph);
        const bool frame = h >= kFrameHeights * pageGlyph && w >= h / 2 &&
                           c.area < kFrameFill * static_cast<double>(w) * h;
        const bool picture = h > 6 * pageGlyph && h > 48;
        if (rule || frame || picture) {
            continue;
        }
        if (h < kMarkShare * pageGlyph || (c.area <= 2 && h <= 2)) {
            marks.push_back(i);
        } else {
            cores.push_back(i);
        }
    }

    // Cores next to each other on one line are linked into lines.
    std::sort(cores.begin(), cores.end(),
              [&](size_t a, size_t b) { return components[a].left < components[b].left; });
    UnionFind links(cores.size());
    for (size_t i = 0; i < cores.size(); ++i) {
        const Component& a = components[cores[i]];
        const double maxGap = kLineLinkHeights * a.height() * kMaxHeightRatio;
        for (size_t j = i + 1; j < cores.size(); ++j) {
            const Component& b = components[cores[j]];
            if (b.left > a.right + maxGap) {
                break;
            }
            const int low = std::min(a.height(), b.height());
            const int high = std::max(a.height(), b.height());
            if (high > kMaxHeightRatio * low) {
                continue;
            }
            if (verticalOverlap(a.rect(), b.rect()) * 2 < low) {
                continue;
            }
            // Something much taller than a letter (an icon beside two lines of a card) joins
            // only letters level with its middle, so it does not bind the lines together.
            if (high > kTallPartRatio * low && high > kTallPartHeights * pageGlyph &&
                std::abs((a.top + a.bottom) - (b.top + b.bottom)) > kTallPartCentring * high) {
                continue;
            }
            const int gap = b.left - a.right - 1;
            if (gap <= kLineLinkHeights * high) {
                links.unite(i, j);
            }
        }
    }
    struct Line {
        std::vector<size_t> parts;
        QRect box;
        double glyph = 0;
    };
    std::vector<Line> lines;
    for (const std::vector<size_t>& group : links.groups()) {
        Line& line = lines.emplace_back();
        std::vector<double> heights;
        for (const size_t i : group) {
            line.parts.push_back(cores[i]);
            line.box |= components[cores[i]].rect();
            heights.push_back(components[cores[i]].height());
        }
        line.glyph = medianOf(heights);
    }

    // A line of a shape or two lower than the characters is none: a comma or a period a
    // little too tall for a mark, which joins the line beside it as marks do, or a sliver
    // that rounded corners leave, which joins nothing. A single shape far taller than the
    // characters is a picture.
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const Line& line) {
                                   if (line.parts.size() <= kSliverParts &&
                                       line.box.height() < kSliverHeights * pageGlyph) {
                                       marks.insert(marks.end(), line.parts.begin(),
                                                    line.parts.end());
                                       return true;
                                   }
                                   return line.parts.size() == 1 &&
                                          (line.box.height() > kLoneShapePx ||
                                           line.box.height() > kLoneShapeHeights * pageGlyph);
                               }),
                lines.end());

    // Marks join the line they lie in or beside.
    for (const size_t m : marks) {
        const QRect mark = components[m].rect();
        const QPoint centre = mark.center();
        Line* best = nullptr;
        int bestDistance = 0;
        for (Line& line : lines) {
            const int dx = static_cast<int>(std::ceil(0.6 * line.glyph));
            const int dy = static_cast<int>(std::ceil(0.7 * line.glyph));
            if (!line.box.adjusted(-dx, -dy, dx, dy).contains(centre)) {
                continue;
            }
            const int distance =
                std::max(0, std::max(line.box.left() - centre.x(), centre.x() - line.box.right())) +
                std::max(0, std::max(line.box.top() - centre.y(), centre.y() - line.box.bottom()));
            if (!best || distance < bestDistance) {
                best = &line;
                bestDistance = distance;
            }
        }
        if (best) {
            best->parts.push_back(m);
        }
    }

    // Each line splits into runs at the gaps that are wide for its text; marks (a colon, a
    // tilde, a dash) bridge gaps as letters do.
    for (Line& line : lines) {
        std::sort(line.parts.begin(), line.parts.end(),
                  [&](size_t a, size_t b) { return components[a].left < components[b].left; });
        // The letters' pitch: from one letter's left edge to the next one's. Monospaced text
        // with a small x-height puts a whole cell between words, wider than the heights
        // allow; a gap of its own needs more than that.
        std::vector<double> steps;
        int previousLeft = -1;
        for (const size_t c : line.parts) {
            if (components[c].height() < kPitchLetterShare * line.glyph) {
                continue;
            }
            if (previousLeft >= 0) {
                steps.push_back(components[c].left - previousLeft);
            }
            previousLeft = components[c].left;
        }
        const double split =
            std::max(kRunGapHeights * line.glyph,
                     steps.size() >= kPitchMinSteps ? kRunGapPitches * medianOf(steps) : 0.0);
        std::vector<std::vector<size_t>> pieces(1);
        int reach = -1;
        for (const size_t c : line.parts) {
            const Component& component = components[c];
            if (!pieces.back().empty() && component.left - reach - 1 >= split) {
                pieces.emplace_back();
            }
            pieces.back().push_back(c);
            reach = std::max(reach, component.right);
        }
        for (auto& piece : pieces) {
            withoutIcons(piece, components, line.glyph,
                         pieces.size() == 1 ? pageGlyph : line.glyph);
            if (piece.empty()) {
                continue;
            }
            TextRun run;
            for (const size_t c : piece) {
                run.box |= components[c].rect();
                run.ink.push_back(static_cast<int32_t>(c));
            }
            run.glyphPx = line.glyph;
            page.runs.push_back(std::move(run));
        }
    }
    for (TextRun& run : page.runs) {
        std::sort(run.ink.begin(), run.ink.end());
    }
    std::sort(page.runs.begin(), page.runs.end(), [](const TextRun& a, const TextRun& b) {
        return a.box.top() != b.box.top() ? a.box.top() < b.box.top() : a.box.left() < b.box.left();
    });
    return page;
}

QRect RunImage::pageRect(const QRect& inImage) const {
    const auto toPage = [&](double v, int offset) {
        return static_cast<int>(std::lround((v - padding) / scale)) + offset;
    };
    return QRect(QPoint(toPage(inImage.left(), origin.x()), toPage(inImage.top(), origin.y())),
                 QPoint(toPage(inImage.right(), origin.x()), toPage(inImage.bottom(), origin.y())));
}

RunImage runImage(const QImage& ink, const PageSegmentation& page, const TextRun& run) {
    RunImage result;
    const int margin = std::max(2, static_cast<int>(std::lround(run.glyphPx / 4)));
    const QRect crop = run.box.adjusted(-margin, -margin, margin, margin)
                           .intersected(QRect(0, 0, page.width, page.height));
    result.origin = crop.topLeft();
    QImage grey(crop.size(), QImage::Format_Grayscale8);
    int darkest = 255;
    for (int y = 0; y < crop.height(); ++y) {
        const uchar* source = ink.constScanLine(crop.top() + y) + crop.left();
        const int32_t* labels =
            page.labels.data() +
            static_cast<size_t>(crop.top() + y) * static_cast<size_t>(page.width) +
            static_cast<size_t>(crop.left());
        uchar* target = grey.scanLine(y);
        for (int x = 0; x < crop.width(); ++x) {
            const int32_t label = labels[x];
            const bool foreign =
                label != 0 && !std::binary_search(run.ink.begin(), run.ink.end(), label);
            target[x] = foreign ? 255 : source[x];
            if (label != 0 && !foreign) {
                darkest = std::min(darkest, static_cast<int>(source[x]));
            }
        }
    }
    // Faint text (a dim status line, a disabled item) gets the contrast of the rest.
    if (darkest > 0 && darkest < 200) {
        for (int y = 0; y < grey.height(); ++y) {
            uchar* line = grey.scanLine(y);
            for (int x = 0; x < grey.width(); ++x) {
                const int stretched = 255 - (255 - line[x]) * 255 / (255 - darkest);
                line[x] = static_cast<uchar>(std::clamp(stretched, 0, 255));
            }
        }
    }
    result.scale = recognitionScaleFor(run.glyphPx);
    if (result.scale > 1.0) {
        grey = grey.scaled(QSize(static_cast<int>(std::lround(grey.width() * result.scale)),
                                 static_cast<int>(std::lround(grey.height() * result.scale))),
                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    result.padding = kRecognitionPaddingPx;
    result.grey = padded(grey, result.padding);
    return result;
}

namespace {

int medianGround(const QImage& background, const QRect& box) {
    std::vector<double> values;
    const QRect inside = box.intersected(background.rect());
    const int step = std::max(1, inside.width() / 16);
    for (int y = inside.top(); y <= inside.bottom(); y += std::max(1, inside.height() / 4)) {
        const uchar* line = background.constScanLine(y);
        for (int x = inside.left(); x <= inside.right(); x += step) {
            values.push_back(line[x]);
        }
    }
    return static_cast<int>(medianOf(values));
}

struct Stack {
    std::vector<size_t> runs;
    QRect box;
    int ground = 255;
};

// A line of ink standing in the gap between two stacks, beside most of their shared rows,
// with no line across the gap between those rows: a divider between panes. (Grid lines of
// a table cross the gap too.)
bool dividedByRule(const QImage& ink, const QRect& left, const QRect& right, int rowHeight) {
    const int x0 = left.right() + 1;
    const int x1 = right.left() - 1;
    const int y0 = std::max(left.top(), right.top());
    const int y1 = std::min(left.bottom(), right.bottom());
    // Beside a single row, a letter's stem of some text in between looks the same.
    if (x1 < x0 || y1 - y0 + 1 < kDividerRows * rowHeight) {
        return false;
    }
    const int rows = y1 - y0 + 1;
    bool vertical = false;
    for (int x = x0; x <= x1 && !vertical; ++x) {
        int inked = 0;
        for (int y = y0; y <= y1; ++y) {
            inked += ink.constScanLine(y)[x] < kInkLevel ? 1 : 0;
        }
        vertical = inked >= kDividerCover * rows;
    }
    if (!vertical) {
        return false;
    }
    const int columns = x1 - x0 + 1;
    for (int y = y0; y <= y1; ++y) {
        const uchar* line = ink.constScanLine(y);
        int inked = 0;
        for (int x = x0; x <= x1; ++x) {
            inked += line[x] < kInkLevel ? 1 : 0;
        }
        if (inked >= kDividerCover * columns) {
            return false;
        }
    }
    return true;
}

size_t typicalWordCount(const std::vector<ReadRun>& runs, const Stack& stack) {
    std::vector<double> counts;
    for (const size_t r : stack.runs) {
        counts.push_back(static_cast<double>(runs[r].words.size()));
    }
    return static_cast<size_t>(medianOf(counts));
}

// Blocks in reading order: cut the page across where no block spans the cut, top to
// bottom, else down where none does, left to right, and so on within each part.
void orderBlocks(std::vector<size_t>& blocks, const std::vector<QRect>& boxes) {
    if (blocks.size() < 2) {
        return;
    }
    for (const bool across : {true, false}) {
        const auto low = [&](size_t b) { return across ? boxes[b].top() : boxes[b].left(); };
        const auto high = [&](size_t b) { return across ? boxes[b].bottom() : boxes[b].right(); };
        std::vector<size_t> sorted = blocks;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](size_t a, size_t b) { return low(a) < low(b); });
        std::vector<std::vector<size_t>> parts(1);
        int reach = high(sorted.front());
        parts.back().push_back(sorted.front());
        for (size_t i = 1; i < sorted.size(); ++i) {
            if (low(sorted[i]) > reach - 2) {
                parts.emplace_back();
            }
            parts.back().push_back(sorted[i]);
            reach = std::max(reach, high(sorted[i]));
        }
        if (parts.size() > 1) {
            blocks.clear();
            for (auto& part : parts) {
                orderBlocks(part, boxes);
                blocks.insert(blocks.end(), part.begin(), part.end());
            }
            return;
        }
    }
    std::stable_sort(blocks.begin(), blocks.end(), [&](size_t a, size_t b) {
        return boxes[a].top() != boxes[b].top() ? boxes[a].top() < boxes[b].top()
                                                : boxes[a].left() < boxes[b].left();
    });
}

} // namespace

std::vector<LaidOutRow> layOutRows(const std::vector<ReadRun>& runs, const QImage& ink,
                                   const QImage& background) {
    const size_t count = runs.size();
    std::vector<int> grounds(count);
    for (size_t i = 0; i < count; ++i) {
        grounds[i] = medianGround(background, runs[i].box);
    }

    // Stacks: runs one above the other, each the only neighbour of the other on the
    // nearest row, on the same ground.
    const auto nearestRow = [&](size_t from, bool below) {
        std::vector<size_t> found;
        int nearest = 0;
        const QRect& a = runs[from].box;
        for (size_t j = 0; j < count; ++j) {
            const QRect& b = runs[j].box;
            if (j == from || horizontalOverlap(a, b) <= 0 || sameRow(a, b)) {
                continue;
            }
            const int gap = below ? b.top() - a.bottom() : a.top() - b.bottom();
            const double allowed = kStackGapHeights * std::max(a.height(), b.height());
            if (gap < -std::min(a.height(), b.height()) / 2 || gap > allowed) {
                continue;
            }
            if (found.empty() || gap < nearest - 2) {
                found = {j};
                nearest = gap;
            } else if (gap <= nearest + 2) {
                found.push_back(j);
            }
        }
        return found;
    };
    UnionFind stacked(count);
    for (size_t i = 0; i < count; ++i) {
        const auto below = nearestRow(i, true);
        if (below.size() != 1) {
            continue;
        }
        const auto above = nearestRow(below.front(), false);
        if (above.size() == 1 && above.front() == i &&
            std::abs(grounds[i] - grounds[below.front()]) <= kGroundDifference) {
            stacked.unite(i, below.front());
        }
    }
    std::vector<Stack> stacks;
    for (std::vector<size_t>& group : stacked.groups()) {
        Stack& stack = stacks.emplace_back();
        std::vector<double> values;
        for (const size_t i : group) {
            stack.box |= runs[i].box;
            values.push_back(grounds[i]);
        }
        stack.runs = std::move(group);
        stack.ground = static_cast<int>(medianOf(values));
    }

    // Stacks side by side whose runs share rows are the columns of one table, unless
    // grounds, a divider or paragraphs of prose say they are panes of their own.
    UnionFind tables(stacks.size());
    for (size_t s = 0; s < stacks.size(); ++s) {
        for (size_t t = 0; t < stacks.size(); ++t) {
            const Stack& left = stacks[s];
            const Stack& right = stacks[t];
            if (s == t || left.box.right() >= right.box.left() ||
                verticalOverlap(left.box, right.box) <= 0) {
                continue;
            }
            const Stack& fewer = left.runs.size() <= right.runs.size() ? left : right;
            const Stack& more = &fewer == &left ? right : left;
            size_t aligned = 0;
            for (const size_t a : fewer.runs) {
                aligned += std::any_of(more.runs.begin(), more.runs.end(),
                                       [&](size_t b) { return sameRow(runs[a].box, runs[b].box); })
                               ? 1
                               : 0;
            }
            if (aligned == 0 || static_cast<double>(aligned) <
                                    kRowAlignedShare * static_cast<double>(fewer.runs.size())) {
                continue;
            }
            // Grounds tell panes apart, not single runs on one row (a dialog's buttons, one
            // of them filled).
            const bool singleRuns = left.runs.size() == 1 && right.runs.size() == 1;
            if (!singleRuns && std::abs(left.ground - right.ground) > kGroundDifference) {
                continue;
            }
            const auto prose = [&](const Stack& stack) {
                return stack.runs.size() >= kProseRuns &&
                       typicalWordCount(runs, stack) >= kProseWords;
            };
            if (prose(left) || prose(right)) {
                continue;
            }
            if (dividedByRule(ink, left.box, right.box, runs[fewer.runs.front()].box.height())) {
                continue;
            }
            tables.unite(s, t);
        }
    }

    // Blocks: a table or a stack of its own.
    std::vector<std::vector<size_t>> blockRuns;
    std::vector<QRect> blockBoxes;
    for (const std::vector<size_t>& group : tables.groups()) {
        std::vector<size_t>& members = blockRuns.emplace_back();
        QRect& box = blockBoxes.emplace_back();
        for (const size_t s : group) {
            members.insert(members.end(), stacks[s].runs.begin(), stacks[s].runs.end());
            box |= stacks[s].box;
        }
    }
    std::vector<size_t> order(blockRuns.size());
    std::iota(order.begin(), order.end(), 0);
    orderBlocks(order, blockBoxes);

    // Within a block, rows top to bottom, cells left to right.
    std::vector<LaidOutRow> rows;
    for (const size_t b : order) {
        std::vector<size_t> members = blockRuns[b];
        std::sort(members.begin(), members.end(), [&](size_t x, size_t y) {
            return runs[x].box.center().y() < runs[y].box.center().y();
        });
        std::vector<std::vector<size_t>> lines;
        std::vector<QRect> lineBoxes;
        for (const size_t r : members) {
            bool placed = false;
            for (size_t l = 0; l < lines.size() && !placed; ++l) {
                if (sameRow(lineBoxes[l], runs[r].box)) {
                    lines[l].push_back(r);
                    lineBoxes[l] |= runs[r].box;
                    placed = true;
                }
            }
            if (!placed) {
                lines.push_back({r});
                lineBoxes.push_back(runs[r].box);
            }
        }
        for (auto& line : lines) {
            std::sort(line.begin(), line.end(),
                      [&](size_t x, size_t y) { return runs[x].box.left() < runs[y].box.left(); });
            LaidOutRow row;
            for (const size_t r : line) {
                if (!runs[r].words.empty()) {
                    row.push_back(runs[r].words);
                }
            }
            if (!row.empty()) {
                rows.push_back(std::move(row));
            }
        }
    }
    return rows;
}

namespace {

// Letters whose top is the x-height in every interface font; the lines the upturn is
// measured against.
constexpr char16_t kXHeightLetters[] = u"аеинопсткмхвзжчшьюяє";
// How far above the x-height, in x-heights, the top of a small "ґ" and of a capital "Ґ"
// lies at least; "г" ends at the x-height and "Г" at the capital height, 1.26-1.50
// (measured over the interface families at 11-14 px: "ґ" 1.18-1.42, "Ґ" 1.57-1.81).
constexpr double kSmallUpturn = 1.12;
constexpr double kCapitalUpturn = 1.53;
constexpr int kDarkLevel = 128;

// The topmost dark pixel of what is joined to the dark pixels of `columns` between `top`
// and `bottom` (the letter's body), within those columns: a dot or a neighbour's stroke
// standing apart does not count. -1 when the columns hold no body.
int topOfLetter(const QImage& line, const QRect& columns, int top, int bottom) {
    const QRect area = columns.intersected(line.rect());
    if (area.isEmpty()) {
        return -1;
    }
    const auto dark = [&](int x, int y) { return line.constScanLine(y)[x] < kDarkLevel; };
    std::vector<uint8_t> seen(static_cast<size_t>(area.width()) *
                              static_cast<size_t>(area.height()));
    const auto index = [&](int x, int y) {
        return static_cast<size_t>(y - area.top()) * static_cast<size_t>(area.width()) +
               static_cast<size_t>(x - area.left());
    };
    std::vector<QPoint> stack;
    for (int y = std::max(top, area.top()); y <= std::min(bottom, area.bottom()); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (dark(x, y)) {
                seen[index(x, y)] = 1;
                stack.emplace_back(x, y);
            }
        }
    }
    int highest = -1;
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        highest = highest < 0 ? p.y() : std::min(highest, p.y());
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = p.x() + dx;
                const int y = p.y() + dy;
                if (area.contains(x, y) && !seen[index(x, y)] && dark(x, y)) {
                    seen[index(x, y)] = 1;
                    stack.emplace_back(x, y);
                }
            }
        }
    }
    return highest;
}

int bottomOfLetter(const QImage& line, const QRect& columns) {
    const QRect area = columns.intersected(line.rect());
    for (int y = area.bottom(); y >= area.top(); --y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (line.constScanLine(y)[x] < kDarkLevel) {
                return y;
            }
        }
    }
    return -1;
}

// The columns of a character's box, a pixel in from each side (boxes overlap their
// neighbours a little), over the whole line.
QRect columnsOf(const QRect& box, const QImage& line) {
    return QRect(box.left() + 1, 0, std::max(1, box.width() - 2), line.height());
}

// Measured: icons read with confidences below these, letters of text above them.
constexpr float kSymbolConfidence = 80;
constexpr float kSingleCharacterConfidence = 60;
constexpr float kShortWordConfidence = 40;

bool readFromIcon(const RecognizedWord& word) {
    const bool hasLetters = std::any_of(word.text.begin(), word.text.end(),
                                        [](QChar c) { return c.isLetterOrNumber(); });
    if (!hasLetters) {
        return word.confidence < kSymbolConfidence;
    }
    if (word.text.size() == 1) {
        return word.confidence < kSingleCharacterConfidence;
    }
    return word.text.size() <= 2 && word.confidence < kShortWordConfidence;
}

} // namespace

void restoreUpturnedGhe(std::vector<RecognizedWord>& words, const QImage& line) {
    if (line.format() != QImage::Format_Grayscale8) {
        return;
    }
    const bool anyGhe = std::any_of(words.begin(), words.end(), [](const RecognizedWord& word) {
        return word.text.contains(u'г') || word.text.contains(u'Г');
    });
    if (!anyGhe) {
        return;
    }
    // The x-height band of the line, from the letters that end at it.
    std::vector<double> tops;
    std::vector<double> bottoms;
    for (const RecognizedWord& word : words) {
        for (const auto& [character, box] : word.characters) {
            if (character.size() == 1 && QStringView(kXHeightLetters).contains(character[0])) {
                const QRect columns = columnsOf(box, line);
                const int bottom = bottomOfLetter(line, columns);
                const int top = topOfLetter(line, columns, 0, bottom);
                if (top >= 0 && bottom > top) {
                    tops.push_back(top);
                    bottoms.push_back(bottom);
                }
            }
        }
    }
    if (tops.empty()) {
        return;
    }
    const double xTop = medianOf(tops);
    const double baseline = medianOf(bottoms);
    const double xHeight = baseline - xTop;
    if (xHeight < 3) {
        return;
    }
    for (RecognizedWord& word : words) {
        qsizetype at = 0;
        for (const auto& [character, box] : word.characters) {
            const qsizetype position = word.text.indexOf(character, at);
            if (position < 0) {
                break;
            }
            at = position + character.size();
            const bool small = character == u"г";
            if (!small && character != u"Г") {
                continue;
            }
            // The body: the x-height band for "г", all of the letter down to the baseline
            // for "Г".
            const int top = topOfLetter(line, columnsOf(box, line),
                                        static_cast<int>(std::lround(xTop + xHeight / 3)),
                                        static_cast<int>(std::lround(baseline)));
            if (top < 0) {
                continue;
            }
            const double rise = (baseline - top) / xHeight;
            if (rise >= (small ? kSmallUpturn : kCapitalUpturn)) {
                word.text[position] = small ? u'ґ' : u'Ґ';
            }
        }
    }
}

void dropIconWords(LaidOutRow& row) {
    for (auto& cell : row) {
        if (cell.size() == 1 && readFromIcon(cell.front())) {
            cell.clear();
        }
    }
    row.erase(std::remove_if(row.begin(), row.end(), [](const auto& cell) { return cell.empty(); }),
              row.end());
    for (int pass = 0; pass < 2 && !row.empty(); ++pass) {
        if (!row.front().empty() && row.front().size() > 1 && readFromIcon(row.front().front())) {
            row.front().erase(row.front().begin());
        }
        if (!row.back().empty() && row.back().size() > 1 && readFromIcon(row.back().back())) {
            row.back().pop_back();
        }
    }
}

} // namespace ivra
