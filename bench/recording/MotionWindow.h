#pragma once

#include <QColor>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace ivra::bench {

// Full-motion content: a window over a whole screen that repaints all of itself 60 times a
// second, a changing colour with moving blocks, so every frame differs everywhere.
class MotionWindow : public QWidget {
public:
    MotionWindow() {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_OpaquePaintEvent);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_step;
            update();
        });
    }
    void setAnimating(bool on) { on ? m_timer.start(16) : m_timer.stop(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor::fromHsv((m_step * 3) % 360, 120, 200));
        for (int i = 0; i < 24; ++i) {
            const int x = (m_step * (5 + i) + i * 150) % width();
            const int y = (i * 97 + m_step * 2) % height();
            painter.fillRect(x, y, width() / 12, height() / 10,
                             QColor::fromHsv((i * 15 + m_step) % 360, 200, 255));
        }
    }

private:
    QTimer m_timer;
    int m_step = 0;
};

} // namespace ivra::bench
