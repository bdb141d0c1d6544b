#include "presentation/ui/Appearance.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

#include "presentation/Theme.h"

#include "presentation/ui/X11WindowState.h"

namespace ivra {

namespace {
ActivationPolicy g_activationPolicy = ActivationPolicy::Regular;
}

QPalette darkPalette() {
    using namespace theme;
    QPalette palette;
    palette.setColor(QPalette::Window, kBg);
    palette.setColor(QPalette::WindowText, kText);
    palette.setColor(QPalette::Base, kSurface);
    palette.setColor(QPalette::AlternateBase, kElev);
    palette.setColor(QPalette::ToolTipBase, kElev);
    palette.setColor(QPalette::ToolTipText, kText);
    palette.setColor(QPalette::PlaceholderText, kFaint);
    palette.setColor(QPalette::Text, kText);
    palette.setColor(QPalette::Button, kElev);
    palette.setColor(QPalette::ButtonText, kText);
    palette.setColor(QPalette::BrightText, kGold);
    palette.setColor(QPalette::Light, kBorder.lighter(140));
    palette.setColor(QPalette::Midlight, kBorder);
    palette.setColor(QPalette::Mid, kBorder);
    palette.setColor(QPalette::Dark, kBg);
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, kBlue);
    palette.setColor(QPalette::HighlightedText, kText);
    palette.setColor(QPalette::Link, kBlue);
    palette.setColor(QPalette::LinkVisited, kBlue.darker(120));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, kFaint);
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, kBorder);
    return palette;
}

void applyDarkAppearance(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        app.setStyle(fusion);
    }
    app.setPalette(darkPalette());
}

void WindowPolicy::setActivationPolicy(ActivationPolicy policy) {
    g_activationPolicy = policy;
}

ActivationPolicy WindowPolicy::activationPolicy() {
    return g_activationPolicy;
}

void WindowPolicy::apply(QWidget& window) {
    const bool tool = g_activationPolicy == ActivationPolicy::Accessory;
    window.setWindowFlag(Qt::Tool, tool);
    if (tool) {
        // Linux taskbars and pagers read these, not the window type.
        X11WindowState::addStates(window,
                                  {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    }
}

} // namespace ivra
