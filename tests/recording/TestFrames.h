#pragma once

#include <cstdint>
#include <vector>

#include <QColor>
#include <QSize>

#include "capture/ScreenStream.h"

namespace ivra::test {

// A complete BGRA frame of one colour, optionally with a moving square, stamped at `timeNs`.
class TestFrame final : public ScreenFrame {
public:
    TestFrame(QSize sizePx, QColor color, int64_t timeNs, int squareAt = -1)
        : m_sizePx(sizePx)
        , m_timeNs(timeNs)
        , m_pixels(size_t(sizePx.width()) * size_t(sizePx.height()) * 4) {
        for (size_t i = 0; i < m_pixels.size(); i += 4) {
            m_pixels[i] = uint8_t(color.blue());
            m_pixels[i + 1] = uint8_t(color.green());
            m_pixels[i + 2] = uint8_t(color.red());
            m_pixels[i + 3] = 0xff;
        }
        if (squareAt >= 0) {
            const int side = sizePx.height() / 4;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const int px = (squareAt + x) % sizePx.width();
                    const size_t at = (size_t(y) * size_t(sizePx.width()) + size_t(px)) * 4;
                    m_pixels[at] = m_pixels[at + 1] = m_pixels[at + 2] = 0xff;
                }
            }
        }
    }

    // Pixels no encoder can compress much.
    static TestFrame noise(QSize sizePx, uint32_t seed, int64_t timeNs) {
        TestFrame frame(sizePx, Qt::black, timeNs);
        uint32_t state = seed * 2654435761U + 1;
        for (uint8_t& byte : frame.m_pixels) {
            state = state * 1664525U + 1013904223U;
            byte = uint8_t(state >> 24);
        }
        return frame;
    }

    FrameStatus status() const override { return FrameStatus::Complete; }
    int64_t presentationTimeNs() const override { return m_timeNs; }
    QSize sizePx() const override { return m_sizePx; }
    const uint8_t* bits() const override { return m_pixels.data(); }
    int bytesPerLine() const override { return m_sizePx.width() * 4; }

private:
    QSize m_sizePx;
    int64_t m_timeNs;
    std::vector<uint8_t> m_pixels;
};

} // namespace ivra::test
