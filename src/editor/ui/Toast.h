#pragma once

#include <functional>

#include <QPointer>
#include <QString>
#include <QWidget>

namespace ivra {

// A short message in a capsule at the bottom centre of its parent, 24 points above the
// bottom edge. Each message starts its own 1.5-second timer, and any timer that runs out
// clears whatever is showing by then: a message shown shortly after another goes away with
// the first one's timer.
class Toast : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDurationMs = 1500;

    explicit Toast(QWidget* parent);

    void showMessage(const QString& message);
    // Runs `task` after `delayMs`; by default a Qt timer. Tests pass their own clock.
    using Scheduler = std::function<void(int delayMs, std::function<void()> task)>;
    void setScheduler(Scheduler scheduler) { m_scheduler = std::move(scheduler); }
    // The message showing now; empty when none.
    QString message() const { return m_message; }

signals:
    void messageChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void clear();
    void place();

    QString m_message;
    Scheduler m_scheduler;
};

} // namespace ivra
