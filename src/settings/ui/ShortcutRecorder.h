#pragma once

#include <functional>

#include <QPushButton>

#include "keyboard/HotKeyBinding.h"

namespace ivra {

class KeyboardLayout;

// A button that shows a shortcut and records a new one: click it, then press the keys.
// Escape ends recording without a change (even with modifiers held); a key without Ctrl,
// Shift, Alt or Super is not a shortcut and recording goes on; leaving the button ends
// recording too. The key is kept by position, so the shortcut survives layout switches.
class RecorderButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr QSize kSize{150, 28};

    // `layout` names the keys (may be null: US legends).
    explicit RecorderButton(const KeyboardLayout* layout, QWidget* parent = nullptr);

    HotKeyBinding binding() const { return m_binding; }
    void setBinding(const HotKeyBinding& binding);
    bool isRecording() const { return m_recording; }
    void setOnChange(std::function<void(const HotKeyBinding&)> onChange) {
        m_onChange = std::move(onChange);
    }

    QSize sizeHint() const override { return kSize; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void startRecording();
    void stopRecording();
    void updateTitle();

    const KeyboardLayout* m_layout;
    HotKeyBinding m_binding = HotKeyBinding::defaultFor(CaptureAction::Area);
    bool m_recording = false;
    std::function<void(const HotKeyBinding&)> m_onChange;
};

// One recorder bound to a binding its owner holds: a recorded shortcut is written into
// the owner's binding first, then reported.
class ShortcutRecorderView : public QWidget {
    Q_OBJECT

public:
    ShortcutRecorderView(HotKeyBinding& binding, std::function<void(const HotKeyBinding&)> onChange,
                         const KeyboardLayout* layout, QWidget* parent = nullptr);

    RecorderButton& button() const { return *m_button; }
    // Shows the owner's binding again (after the owner changed it).
    void refresh();

private:
    HotKeyBinding& m_binding;
    RecorderButton* m_button;
};

} // namespace ivra
