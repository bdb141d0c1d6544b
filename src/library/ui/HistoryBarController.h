#pragma once

#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

#include "library/ui/HistoryBarView.h"
#include "services/PointerPressMonitor.h"

namespace ivra {

class CaptureRepository;
class HistoryBarPanel;
class HistoryStore;

// The history shelf under the tray item: owns its store and its window (made on the first
// showing and kept), and closes it on Escape, on its close button, on a second click of the
// tray item, and when the user clicks elsewhere: a press outside Ivra's windows reported
// by the pointer monitor (no pointer grab: the click still reaches its application), or
// Ivra losing the keyboard to another application. Main thread only.
class HistoryBarController final : public QObject {
    Q_OBJECT

public:
    // A tray click this soon after a click elsewhere closed the shelf was that same click:
    // the shelf stays closed instead of opening again.
    static constexpr int kSameClickMs = 400;
    // Window managers may still move the keyboard about just after a window appears (focus
    // stealing prevention, handing it on from a window that just closed): losing it this
    // soon after showing does not count as the user going elsewhere.
    static constexpr int kFocusSettleMs = 500;

    // `pressMonitor` may be null (no desktop-wide clicks on this desktop).
    HistoryBarController(CaptureRepository& repository, HistoryCardActions actions,
                         std::unique_ptr<PointerPressMonitor> pressMonitor,
                         QObject* parent = nullptr);
    ~HistoryBarController() override;

    HistoryStore& store() const { return *m_store; }
    // Null until the first show().
    HistoryBarPanel* panel() const { return m_panel.get(); }
    bool isShown() const;

    // Reloads the store and shows the strip at the top of the main screen.
    void show();
    void hide();
    // The tray item's left click.
    void toggle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pressedAt(QPoint globalPosition);
    void closeForElsewhere();
    bool belongsToPanel(QObject* object) const;

    std::unique_ptr<HistoryStore> m_store;
    HistoryCardActions m_actions;
    std::unique_ptr<PointerPressMonitor> m_pressMonitor;
    std::unique_ptr<HistoryBarPanel> m_panel;
    bool m_monitoring = false;
    bool m_activeSinceShown = false;
    QElapsedTimer m_shownAt;
    QElapsedTimer m_closedForElsewhere;
};

} // namespace ivra
