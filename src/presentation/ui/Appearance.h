#pragma once

#include <QPalette>

class QApplication;
class QWidget;

namespace ivra {

// Ivra always looks dark, whatever the desktop's theme: the Fusion style with a palette
// built from the interface colours.
QPalette darkPalette();
void applyDarkAppearance(QApplication& app);

// Whether Ivra's windows appear in the taskbar and window switcher ("show in Dock" on
// other desktops). Regular: normal windows with Ivra's icon. Accessory: tool windows
// without taskbar entries; Ivra then lives in the tray alone.
enum class ActivationPolicy { Regular, Accessory };

class WindowPolicy {
public:
    static void setActivationPolicy(ActivationPolicy policy);
    static ActivationPolicy activationPolicy();
    // Gives a top-level window the flags of the current policy. Windows call this once
    // before they are first shown.
    static void apply(QWidget& window);
};

} // namespace ivra
