#pragma once

#include <functional>
#include <optional>

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

namespace ivra {

// What the tray item's clicks and menu entries do. An empty action is a feature that is not
// there yet: its menu entry shows disabled. Without toggleHistory a left click opens the
// menu, so the tray item always leads somewhere.
struct StatusItemActions {
    std::function<void()> captureArea;
    std::function<void()> captureWindow;
    std::function<void()> captureFullScreen;
    std::function<void()> toggleRecording;
    std::function<void()> showSettings;
    std::function<void()> showAbout;
    std::function<void()> toggleHistory;
    std::function<void()> quit;
    // Whether a recording is running, for the recording entry's title.
    std::function<bool()> isRecording;
};

// The tray item, Ivra's home: a left click toggles the history shelf, a right click (or a
// Ctrl+click) opens the menu with every capture, recording, the settings, about and quit.
class StatusItemController : public QObject {
    Q_OBJECT

public:
    enum class ClickResponse { ToggleHistory, ShowMenu, Nothing };

    static constexpr int kIconSizesPx[] = {16, 22, 24, 32, 48, 64};

    explicit StatusItemController(StatusItemActions actions, QObject* parent = nullptr);

    // Puts the item in the tray. The menu exists from construction, tray or not.
    void show();
    // False when the desktop has no tray to show the item in (the menu is still built).
    static bool hasSystemTray();

    QSystemTrayIcon& trayIcon() { return m_trayIcon; }
    QMenu& menu() { return m_menu; }
    QAction& captureAreaAction() const { return *m_captureArea; }
    QAction& recordingAction() const { return *m_recording; }

    // "Capture Area", or "Capture Area  (Ctrl+Shift+1)" when a shortcut is set.
    static QString captureAreaTitle(const std::optional<QString>& shortcutText);
    // Called whenever the shortcuts are applied; nothing when the area shortcut is off.
    void updateCaptureMenuTitle(const std::optional<QString>& shortcutText);

    static ClickResponse responseTo(QSystemTrayIcon::ActivationReason reason,
                                    Qt::KeyboardModifiers modifiers, bool hasHistory);
    // Acts on a click on the item, given the modifier keys held at the time.
    void handleActivation(QSystemTrayIcon::ActivationReason reason,
                          Qt::KeyboardModifiers modifiers);

    // A camera in a viewfinder: light with a dark outline, so it reads on light and dark
    // panels alike.
    static QIcon icon();

private:
    QAction* addEntry(const QString& title, const std::function<void()>& action);
    void refreshRecordingTitle();

    StatusItemActions m_actions;
    QMenu m_menu;
    QSystemTrayIcon m_trayIcon;
    QAction* m_captureArea = nullptr;
    QAction* m_recording = nullptr;
};

} // namespace ivra
