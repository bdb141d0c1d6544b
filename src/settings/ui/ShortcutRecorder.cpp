#include "settings/ui/ShortcutRecorder.h"

#include <QHBoxLayout>
#include <QKeyEvent>

#include "keyboard/KeyCodeNames.h"
#include "keyboard/KeyPositions.h"

namespace ivra {

namespace {

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

quint32 shortcutModifiers(Qt::KeyboardModifiers modifiers) {
    quint32 bits = 0;
    if (modifiers & Qt::ControlModifier) {
        bits |= keymod::Command;
    }
    if (modifiers & Qt::ShiftModifier) {
        bits |= keymod::Shift;
    }
    if (modifiers & Qt::AltModifier) {
        bits |= keymod::Option;
    }
    if (modifiers & Qt::MetaModifier) {
        bits |= keymod::Control; // Super
    }
    return bits;
}

} // namespace

RecorderButton::RecorderButton(const KeyboardLayout* layout, QWidget* parent)
    : QPushButton(parent)
    , m_layout(layout) {
    setFocusPolicy(Qt::ClickFocus);
    setFixedSize(kSize);
    connect(this, &QPushButton::clicked, this, &RecorderButton::startRecording);
    updateTitle();
}

void RecorderButton::setBinding(const HotKeyBinding& binding) {
    m_binding = binding;
    updateTitle();
}

void RecorderButton::updateTitle() {
    setText(m_recording ? tr("Press keys…") : KeyCodeNames::displayText(m_binding, m_layout));
}

void RecorderButton::startRecording() {
    m_recording = true;
    updateTitle();
    setFocus(Qt::OtherFocusReason);
}

void RecorderButton::stopRecording() {
    m_recording = false;
    updateTitle();
}

void RecorderButton::keyPressEvent(QKeyEvent* event) {
    if (!m_recording) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    const auto position = KeyPositions::fromKeyEvent(*event);
    // Escape before anything else: Shift+Escape ends recording too.
    if (position == keypos::Escape) {
        stopRecording();
        clearFocus();
        return;
    }
    if (isModifierKey(event->key()) || !position) {
        return; // the modifiers are still being gathered
    }
    const quint32 modifiers = shortcutModifiers(event->modifiers());
    if (modifiers == 0) {
        return; // a shortcut needs at least one modifier
    }
    m_binding = HotKeyBinding{*position, modifiers};
    stopRecording();
    if (m_onChange) {
        m_onChange(m_binding);
    }
    clearFocus();
}

void RecorderButton::focusOutEvent(QFocusEvent* event) {
    if (m_recording) {
        stopRecording();
    }
    QPushButton::focusOutEvent(event);
}

ShortcutRecorderView::ShortcutRecorderView(HotKeyBinding& binding,
                                           std::function<void(const HotKeyBinding&)> onChange,
                                           const KeyboardLayout* layout, QWidget* parent)
    : QWidget(parent)
    , m_binding(binding)
    , m_button(new RecorderButton(layout, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_button);
    m_button->setBinding(binding);
    m_button->setOnChange([this, onChange = std::move(onChange)](const HotKeyBinding& recorded) {
        m_binding = recorded;
        if (onChange) {
            onChange(recorded);
        }
    });
}

void ShortcutRecorderView::refresh() {
    m_button->setBinding(m_binding);
}

} // namespace ivra
