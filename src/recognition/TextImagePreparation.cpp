#include "recognition/TextImagePreparation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <QPainter>

#include "recognition/UnionFind.h"

namespace ivra {

namespace {

// Values marked "measured" were chosen with bench_recognition (interface fonts at 11–16 px
// on light and dark grounds, and a full-HD mock screen); accuracy was flat around them.

// Surroundings varying by no more than this count as flat ground (measured).
constexpr int kFlatTolerance = 12;
// With less than 1 / this of the image flat, there is too little ground to go by.
constexpr size_t kMinFlatShare = 50;
// Smallest flat radius; large enough for the strokes of ordinary interface text.
constexpr int kMinFlatRadiusPx = 3;
// Standing out from the ground by this much makes a pixel fully black, less makes it grey,
// which keeps anti-aliased edges (measured).
constexpr int kFullInkContrast = 160;
// Median character height that Tesseract's line recogniser reads best (measured).
constexpr double kTargetGlyphPx = 24;
// Beyond this, scaling costs time without helping: the line recogniser's time grows with
// the scale (at 3x, a line took twice as long as at 1x), and the interface set read no
// better at 3x or 4x than at 2.5x (measured).
constexpr double kMaxScale = 2.5;
// A slight resampling blurs strokes and word gaps more than the size gains; text this close
// to the target reads better as it is (measured: spaces lost at 1.3x).
constexpr double kMinScale = 1.8;
// One blob (a disc, an icon) says nothing about text; even "OK" has two.
constexpr size_t kMinGlyphs = 2;
// Blobs lighter than this in the flattened image are not ink.
constexpr int kInkLevel = 160;

using Plane = std::vector<uint8_t>;

Plane planeOf(const QImage& grey) {
    const auto width = static_cast<size_t>(grey.width());
    Plane plane(width * static_cast<size_t>(grey.height()));
    for (int y = 0; y < grey.height(); ++y) {
        std::memcpy(plane.data() + static_cast<size_t>(y) * width, grey.constScanLine(y), width);
    }
    return plane;
}

// Minimum and maximum over a sliding window of 2 * radius + 1 along one axis, in constant
// time per pixel whatever the radius (van Herk / Gil-Werman): the window always spans at
// most two aligned blocks of its own length, so a running extreme from the right within
// one block and from the left within the next give its extreme.
class SlidingExtremes {
public:
    void run(const uint8_t* source, uint8_t* minimum, uint8_t* maximum, int count, ptrdiff_t stride,
             int radius) {
        const int window = 2 * radius + 1;
        const auto padded = static_cast<size_t>(count + 2 * radius);
        m_low.assign(padded, 255);
        m_high.assign(padded, 0);
        for (int i = 0; i < count; ++i) {
            const uint8_t value = source[i * stride];
            m_low[static_cast<size_t>(i + radius)] = value;
            m_high[static_cast<size_t>(i + radius)] = value;
        }
        m_leftLow.resize(padded);
        m_leftHigh.resize(padded);
        m_rightLow.resize(padded);
        m_rightHigh.resize(padded);
        for (size_t i = 0; i < padded; ++i) {
            const bool blockStart = i % static_cast<size_t>(window) == 0;
            m_leftLow[i] = blockStart ? m_low[i] : std::min(m_leftLow[i - 1], m_low[i]);
            m_leftHigh[i] = blockStart ? m_high[i] : std::max(m_leftHigh[i - 1], m_high[i]);
        }
        for (size_t i = padded; i-- > 0;) {
            const bool blockEnd = i + 1 == padded || (i + 1) % static_cast<size_t>(window) == 0;
            m_rightLow[i] = blockEnd ? m_low[i] : std::min(m_rightLow[i + 1], m_low[i]);
            m_rightHigh[i] = blockEnd ? m_high[i] : std::max(m_rightHigh[i + 1], m_high[i]);
        }
        for (int i = 0; i < count; ++i) {
            const auto first = static_cast<size_t>(i);
            const auto last = first + static_cast<size_t>(window - 1);
            minimum[i * stride] = std::min(m_rightLow[first], m_leftLow[last]);
            maximum[i * stride] = std::max(m_rightHigh[first], m_leftHigh[last]);
        }
    }

private:
    std::vector<uint8_t> m_low;
    std::vector<uint8_t> m_high;
    std::vector<uint8_t> m_leftLow;
    std::vector<uint8_t> m_leftHigh;
    std::vector<uint8_t> m_rightLow;
    std::vector<uint8_t> m_rightHigh;
};

// Flatness: how much the pixels within `radius` vary (max - min over the square).
Plane localRange(const Plane& plane, int width, int height, int radius) {
    SlidingExtremes extremes;
    Plane rowMin(plane.size());
    Plane rowMax(plane.size());
    for (int y = 0; y < height; ++y) {
        const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(width);
        extremes.run(plane.data() + offset, rowMin.data() + offset, rowMax.data() + offset, width,
                     1, radius);
    }
    Plane min(plane.size());
    Plane max(plane.size());
    Plane scratch(plane.size());
    for (int x = 0; x < width; ++x) {
        extremes.run(rowMin.data() + x, min.data() + x, scratch.data() + x, height, width, radius);
        extremes.run(rowMax.data() + x, scratch.data() + x, max.data() + x, height, width, radius);
    }
    Plane range(plane.size());
    for (size_t i = 0; i < plane.size(); ++i) {
        range[i] = static_cast<uint8_t>(max[i] - min[i]);
    }
    return range;
}

// How much the pixels vary along the row from each pixel `reach` to its left or to its
// right, whichever varies less: a pixel of a long even stretch is flat up to the stretch's
// very end (the rounded end of a bar), not just where the stretch reaches both ways.
Plane rowRangeOneSided(const Plane& plane, int width, int height, int reach) {
    const int half = std::max(1, reach / 2);
    SlidingExtremes extremes;
    Plane min(plane.size());
    Plane max(plane.size());
    for (int y = 0; y < height; ++y) {
        const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(width);
        extremes.run(plane.data() + offset, min.data() + offset, max.data() + offset, width, 1,
                     half);
    }
    Plane range(plane.size(), 255);
    for (int y = 0; y < height; ++y) {
        const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            // Windows centred half the reach away; they must lie within the row.
            int best = 255;
            for (const int centre : {x - half, x + half}) {
                if (centre - half >= 0 && centre + half < width) {
                    const size_t at = offset + static_cast<size_t>(centre);
                    best = std::min(best, max[at] - min[at]);
                }
            }
            range[offset + static_cast<size_t>(x)] = static_cast<uint8_t>(best);
        }
    }
    return range;
}

// Flat islands that fit in a `span`-sided square are the insides of filled icons, checkboxes
// and large letters, not ground: they are marked uneven, so that their pixels take the
// ground around them and the whole shape stands out. Islands are found from the flat runs
// of each row, joined where they touch the runs of the row above.
void dropFlatIslands(Plane& range, int width, int height, int tolerance, int span) {
    struct Run {
        int y;
        int x0;
        int x1; // one past the end
    };
    std::vector<Run> runs;
    UnionFind islands;
    size_t previousFirst = 0;
    for (int y = 0; y < height; ++y) {
        const size_t rowFirst = runs.size();
        const uint8_t* row = range.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width;) {
            if (row[x] > tolerance) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && row[x] <= tolerance) {
                ++x;
            }
            runs.push_back({y, start, x});
            islands.add();
        }
        // Join with the runs above that share a column.
        size_t above = previousFirst;
        for (size_t r = rowFirst; r < runs.size(); ++r) {
            while (above < rowFirst && runs[above].x1 <= runs[r].x0) {
                ++above;
            }
            for (size_t k = above; k < rowFirst && runs[k].x0 < runs[r].x1; ++k) {
                islands.unite(r, k);
            }
        }
        previousFirst = rowFirst;
    }
    struct Extent {
        int left = std::numeric_limits<int>::max();
        int right = -1;
        int top = std::numeric_limits<int>::max();
        int bottom = -1;
    };
    std::vector<Extent> extents(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        Extent& e = extents[islands.find(r)];
        e.left = std::min(e.left, runs[r].x0);
        e.right = std::max(e.right, runs[r].x1 - 1);
        e.top = std::min(e.top, runs[r].y);
        e.bottom = std::max(e.bottom, runs[r].y);
    }
    for (size_t r = 0; r < runs.size(); ++r) {
        const Extent& e = extents[islands.find(r)];
        if (e.right - e.left < span && e.bottom - e.top < span) {
            std::fill(range.begin() + static_cast<std::ptrdiff_t>(
                                          static_cast<size_t>(runs[r].y) * width + runs[r].x0),
                      range.begin() + static_cast<std::ptrdiff_t>(
                                          static_cast<size_t>(runs[r].y) * width + runs[r].x1),
                      uint8_t{255});
        }
    }
}

// The shade of the ground when the image has no flat part to show it, as in a snug crop
// around a word: split the shades in two (Otsu) and take the larger side's median, since
// even a snug crop holds more ground than ink.
uint8_t dominantShade(const Plane& plane) {
    std::array<double, 256> histogram{};
    for (const uint8_t value : plane) {
        ++histogram[value];
    }
    const auto total = static_cast<double>(plane.size());
    double sumAll = 0;
    for (size_t value = 0; value < 256; ++value) {
        sumAll += static_cast<double>(value) * histogram[value];
    }
    size_t split = 0;
    double bestSpread = -1;
    double countBelow = 0;
    double sumBelow = 0;
    for (size_t value = 0; value < 255; ++value) {
        countBelow += histogram[value];
        sumBelow += static_cast<double>(value) * histogram[value];
        const double countAbove = total - countBelow;
        if (countBelow == 0 || countAbove == 0) {
            continue;
        }
        const double difference = sumBelow / countBelow - (sumAll - sumBelow) / countAbove;
        const double spread = countBelow * countAbove * difference * difference;
        if (spread > bestSpread) {
            bestSpread = spread;
            split = value;
        }
    }
    double below = 0;
    for (size_t value = 0; value <= split; ++value) {
        below += histogram[value];
    }
    const bool groundBelow = below * 2 >= total;
    const size_t first = groundBelow ? 0 : split + 1;
    const size_t last = groundBelow ? split : 255;
    const double half = (groundBelow ? below : total - below) / 2;
    double seen = 0;
    for (size_t value = first; value <= last; ++value) {
        seen += histogram[value];
        if (seen >= half) {
            return static_cast<uint8_t>(value);
        }
    }
    return static_cast<uint8_t>(last);
}

// The background under every pixel: flat pixels are their own background; every other
// pixel takes the value of the nearest flat one (a chamfer distance transform that carries
// the value along), so a background never bleeds across into the next panel.
Plane backgroundOf(const Plane& plane, const Plane& range, int width, int height, int tolerance,
                   int reach, bool refined) {
    constexpr uint32_t kFar = std::numeric_limits<uint32_t>::max() / 2;
    std::vector<uint32_t> distance(plane.size(), kFar);
    Plane background(plane.size(), 0);
    size_t flatCount = 0;
    for (size_t i = 0; i < plane.size(); ++i) {
        if (range[i] <= tolerance) {
            distance[i] = 0;
            background[i] = plane[i];
            ++flatCount;
        }
    }
    if (flatCount < plane.size() / kMinFlatShare) {
        // A snug crop around text, or text edge to edge: one ground for all of it.
        std::fill(background.begin(), background.end(), dominantShade(plane));
        return background;
    }
    const auto relax = [&](size_t index, int x, int y, uint32_t step) {
        if (x < 0 || y < 0 || x >= width || y >= height) {
            return;
        }
        const size_t from =
            static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        if (distance[from] + step < distance[index]) {
            distance[index] = distance[from] + step;
            background[index] = background[from];
        }
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t index =
                static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            relax(index, x - 1, y, 3);
            relax(index, x - 1, y - 1, 4);
            relax(index, x, y - 1, 3);
            relax(index, x + 1, y - 1, 4);
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        for (int x = width - 1; x >= 0; --x) {
            const size_t index =
                static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            relax(index, x + 1, y, 3);
            relax(index, x + 1, y + 1, 4);
            relax(index, x, y + 1, 3);
            relax(index, x - 1, y + 1, 4);
        }
    }
    // Text runs along rows: the ground on both sides of a line on the same row is its
    // ground, even when another panel's flat ground lies nearer above or below, as around a
    // selected row whose bar leaves too little margin above and below the text to look flat.
    std::vector<uint8_t> settled(plane.size(), 0);
    std::vector<int> nearest(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(width);
        int last = -1;
        for (int x = 0; x < width; ++x) {
            if (range[offset + static_cast<size_t>(x)] <= tolerance) {
                last = x;
            }
            nearest[static_cast<size_t>(x)] = last;
        }
        int next = -1;
        for (int x = width - 1; x >= 0; --x) {
            const size_t index = offset + static_cast<size_t>(x);
            if (range[index] <= tolerance) {
                next = x;
                continue;
            }
            // Only where the ground on both sides agrees: a filled icon beside the text
            // is flat too, but not the text's ground.
            const int before = nearest[static_cast<size_t>(x)];
            if (before >= 0 && next >= 0 &&
                std::abs(static_cast<int>(plane[offset + static_cast<size_t>(before)]) -
                         static_cast<int>(plane[offset + static_cast<size_t>(next)])) <=
                    tolerance) {
                background[index] =
                    plane[offset + static_cast<size_t>(next - x < x - before ? next : before)];
                settled[index] = 1;
            }
        }
    }
    if (!refined) {
        return background;
    }
    // Elsewhere the same up and down, within `reach`: the rounded end of a button or a
    // chat bubble, beside its text, has the button's strips above and below it, while the
    // page around the end lies nearer.
    const auto at = [width](int x, int y) {
        return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    };
    std::vector<int> above(static_cast<size_t>(height));
    for (int x = 0; x < width; ++x) {
        int last = -1;
        for (int y = 0; y < height; ++y) {
            if (range[at(x, y)] <= tolerance) {
                last = y;
            }
            above[static_cast<size_t>(y)] = last;
        }
        int next = -1;
        for (int y = height - 1; y >= 0; --y) {
            const size_t index = at(x, y);
            if (range[index] <= tolerance) {
                next = y;
                continue;
            }
            const int before = above[static_cast<size_t>(y)];
            if (settled[index] || before < 0 || next < 0 || y - before > reach ||
                next - y > reach) {
                continue;
            }
            const int up = plane[at(x, before)];
            const int down = plane[at(x, next)];
            if (std::abs(up - down) <= tolerance) {
                background[index] = static_cast<uint8_t>(next - y < y - before ? down : up);
            }
        }
    }
    // Ground runs on, unflat, into its own corners: the rounded end of a button or bubble,
    // whose pixels have the ground's shade but lie nearer the page around. Each flat pixel
    // claims the pixels of its own shade that it reaches, within `reach`, through pixels of
    // that shade; text, which differs from the ground it stands on, is never claimed.
    std::vector<int> queue;
    std::vector<int> steps(plane.size(), -1);
    std::vector<uint8_t> seed(plane.size(), 0);
    for (size_t i = 0; i < plane.size(); ++i) {
        if (range[i] <= tolerance) {
            steps[i] = 0;
            seed[i] = plane[i];
        }
    }
    // Only the flat pixels at the edge of their ground have anywhere to go.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = at(x, y);
            if (steps[i] == 0 &&
                ((x > 0 && steps[i - 1] != 0) || (x + 1 < width && steps[i + 1] != 0) ||
                 (y > 0 && steps[i - static_cast<size_t>(width)] != 0) ||
                 (y + 1 < height && steps[i + static_cast<size_t>(width)] != 0))) {
                queue.push_back(static_cast<int>(i));
            }
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int index = queue[head];
        const int x = index % width;
        const int y = index / width;
        if (steps[static_cast<size_t>(index)] >= reach) {
            continue;
        }
        const int neighbours[] = {x > 0 ? index - 1 : -1, x + 1 < width ? index + 1 : -1,
                                  y > 0 ? index - width : -1, y + 1 < height ? index + width : -1};
        for (const int next : neighbours) {
            if (next < 0 || steps[static_cast<size_t>(next)] >= 0 ||
                std::abs(static_cast<int>(plane[static_cast<size_t>(next)]) -
                         static_cast<int>(seed[static_cast<size_t>(index)])) > tolerance) {
                continue;
            }
            steps[static_cast<size_t>(next)] = steps[static_cast<size_t>(index)] + 1;
            seed[static_cast<size_t>(next)] = seed[static_cast<size_t>(index)];
            // Only where another ground was taken: the faint rim of a letter on its own
            // ground stays exactly as it was.
            uint8_t& ground = background[static_cast<size_t>(next)];
            if (std::abs(static_cast<int>(ground) -
                         static_cast<int>(seed[static_cast<size_t>(next)])) > tolerance) {
                ground = seed[static_cast<size_t>(next)];
            }
            queue.push_back(next);
        }
    }
    return background;
}

struct Box {
    int left;
    int top;
    int right;
    int bottom;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// Bounding boxes of the 8-connected blobs of a mask; the mask is consumed.
std::vector<Box> connectedBoxes(Plane& mask, int width, int height) {
    std::vector<Box> boxes;
    std::vector<int> stack;
    for (int start = 0; start < width * height; ++start) {
        if (!mask[static_cast<size_t>(start)]) {
            continue;
        }
        Box box{start % width, start / width, start % width, start / width};
        mask[static_cast<size_t>(start)] = 0;
        stack.push_back(start);
        while (!stack.empty()) {
            const int index = stack.back();
            stack.pop_back();
            const int x = index % width;
            const int y = index / width;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) {
                        continue;
                    }
                    const int neighbour = ny * width + nx;
                    if (mask[static_cast<size_t>(neighbour)]) {
                        mask[static_cast<size_t>(neighbour)] = 0;
                        stack.push_back(neighbour);
                    }
                }
            }
        }
        boxes.push_back(box);
    }
    return boxes;
}

bool looksLikeGlyph(const Box& box) {
    // Rules, frames and underlines are long and thin; dots and specks are too small to say
    // anything about the text size; whole icons are larger than interface text.
    return box.height() >= 4 && box.height() <= 160 && box.width() <= 3 * box.height() &&
           (box.height() <= 4 * box.width() || box.height() <= 24);
}

// A flat radius that no stroke of text this tall fills. Heavy strokes reach half the
// glyph height, and hollowed-out large glyphs may be measured short, so be generous.
int flatRadiusFor(double glyphPx) {
    return std::max(kMinFlatRadiusPx, static_cast<int>(std::ceil(glyphPx / 2)) + 1);
}

} // namespace

QImage toGrey(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    QImage source = image;
    source.setDevicePixelRatio(1);
    if (source.hasAlphaChannel()) {
        QImage flattened(source.size(), QImage::Format_RGB32);
        flattened.fill(Qt::white);
        QPainter painter(&flattened);
        painter.drawImage(0, 0, source);
        painter.end();
        source = flattened;
    }
    return source.convertToFormat(QImage::Format_Grayscale8);
}

namespace {

// `refined`: also the grounds of thin strips, rounded ends and corners (flattenWithBackground);
// without, the quicker ground of flat surroundings alone, enough to measure the text by.
FlattenedImage flatten(const QImage& grey, int flatRadiusPx, bool refined) {
    if (grey.isNull()) {
        return {};
    }
    const int width = grey.width();
    const int height = grey.height();
    const int radius = std::max(1, flatRadiusPx);
    const Plane plane = planeOf(grey);
    Plane range = localRange(plane, width, height, radius);
    if (refined) {
        // Flat around, or flat along the row, one way, for a few character widths: the
        // strips of a coloured bar or bubble above and below its text are too thin to look
        // flat all around, yet they are its ground; no letter has a stroke that long.
        const Plane along = rowRangeOneSided(plane, width, height, 8 * radius);
        for (size_t i = 0; i < range.size(); ++i) {
            range[i] = std::min(range[i], along[i]);
        }
        dropFlatIslands(range, width, height, kFlatTolerance, 4 * radius);
    }
    const Plane background =
        backgroundOf(plane, range, width, height, kFlatTolerance, 6 * radius, refined);

    QImage flattened(width, height, QImage::Format_Grayscale8);
    QImage ground(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar* line = flattened.scanLine(y);
        std::memcpy(ground.scanLine(y),
                    background.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                    static_cast<size_t>(width));
        const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const size_t index = offset + static_cast<size_t>(x);
            const int contrast =
                std::abs(static_cast<int>(plane[index]) - static_cast<int>(background[index]));
            line[x] = static_cast<uchar>(255 - std::min(255, contrast * 255 / kFullInkContrast));
        }
    }
    return {flattened, ground};
}

} // namespace

FlattenedImage flattenWithBackground(const QImage& grey, int flatRadiusPx) {
    return flatten(grey, flatRadiusPx, true);
}

PageForLayout preparePageForLayout(const QImage& image) {
    PageForLayout page;
    const QImage grey = toGrey(image);
    if (grey.isNull()) {
        return page;
    }
    // Measure the text on a quick flattening with the smallest radius, then flatten in full
    // with the radius that suits it.
    page.glyphPx = estimateGlyphHeightPx(flatten(grey, kMinFlatRadiusPx, false).ink);
    const bool larger = page.glyphPx && flatRadiusFor(*page.glyphPx) > kMinFlatRadiusPx + 1;
    page.flattened =
        flattenWithBackground(grey, larger ? flatRadiusFor(*page.glyphPx) : kMinFlatRadiusPx);
    return page;
}

double recognitionScaleFor(double glyphPx) {
    const double wanted = glyphPx > 0 ? kTargetGlyphPx / glyphPx : 1;
    return wanted >= kMinScale ? std::min(wanted, kMaxScale) : 1.0;
}

QImage padded(const QImage& grey, int paddingPx) {
    QImage result(grey.width() + 2 * paddingPx, grey.height() + 2 * paddingPx,
                  QImage::Format_Grayscale8);
    result.fill(255);
    for (int y = 0; y < grey.height(); ++y) {
        std::memcpy(result.scanLine(y + paddingPx) + paddingPx, grey.constScanLine(y),
                    static_cast<size_t>(grey.width()));
    }
    return result;
}

std::optional<double> estimateGlyphHeightPx(const QImage& flattened) {
    if (flattened.isNull()) {
        return std::nullopt;
    }
    const int width = flattened.width();
    const int height = flattened.height();
    Plane ink = planeOf(flattened);
    for (uint8_t& value : ink) {
        value = value < kInkLevel ? 1 : 0;
    }
    std::vector<int> heights;
    for (const Box& box : connectedBoxes(ink, width, height)) {
        if (looksLikeGlyph(box)) {
            heights.push_back(box.height());
        }
    }
    if (heights.size() < kMinGlyphs) {
        return std::nullopt;
    }
    const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), middle, heights.end());
    return static_cast<double>(*middle);
}

} // namespace ivra
