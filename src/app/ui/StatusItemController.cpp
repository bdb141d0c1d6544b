#include "app/ui/StatusItemController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QPixmap>

#include "editor/SymbolIcon.h"
#include "presentation/Theme.h"

namespace ivra {

namespace {

const QString kStartRecordingTitle = QStringLiteral("Start Screen Recording");
const QString kStopRecordingTitle = QStringLiteral("Stop Screen Recording");

QPixmap iconPixmap(int sidePx) {
    // The outline needs room around the glyph: one pixel on small icons, two on large ones.
    const int outlinePx = sidePx >= 48 ? 2 : 1;
    const int glyphPx = sidePx - 2 * outlinePx;
    const QString name = QStringLiteral("camera.viewfinder");
    const QImage light = SymbolIcon::render(name, glyphPx, theme::kText, 1);
    const QImage dark = SymbolIcon::render(name, glyphPx, QColor(0, 0, 0, 190), 1);

    QImage image(sidePx, sidePx, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (int dx = -outlinePx; dx <= outlinePx; dx += outlinePx) {
        for (int dy = -outlinePx; dy <= outlinePx; dy += outlinePx) {
            if (dx != 0 || dy != 0) {
                painter.drawImage(outlinePx + dx, outlinePx + dy, dark);
            }
        }
    }
    painter.drawImage(outlinePx, outlinePx, light);
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

StatusItemController::StatusItemController(StatusItemActions actions, QObject* parent)
    : QObject(parent)
    , m_actions(std::move(actions)) {
    m_captureArea = addEntry(captureAreaTitle(std::nullopt), m_actions.captureArea);
    addEntry(QStringLiteral("Capture Window…"), m_actions.captureWindow);
    addEntry(QStringLiteral("Capture Full Screen"), m_actions.captureFullScreen);
    m_menu.addSeparator();
    m_recording = addEntry(kStartRecordingTitle, m_actions.toggleRecording);
    m_menu.addSeparator();
    addEntry(QStringLiteral("Settings…"), m_actions.showSettings)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    addEntry(QStringLiteral("About Ivra"), m_actions.showAbout);
    m_menu.addSeparator();
    QAction* quit = addEntry(QStringLiteral("Quit Ivra"), m_actions.quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);

    // The recording may have started or ended since the menu was last open.
    connect(&m_menu, &QMenu::aboutToShow, this, &StatusItemController::refreshRecordingTitle);

    m_trayIcon.setIcon(icon());
    m_trayIcon.setToolTip(QStringLiteral("Ivra — click for history, right-click for menu"));
    connect(&m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                handleActivation(reason, QGuiApplication::queryKeyboardModifiers());
            });
}

QAction* StatusItemController::addEntry(const QString& title, const std::function<void()>& action) {
    QAction* entry = m_menu.addAction(title);
    entry->setShortcutVisibleInContextMenu(true);
    entry->setEnabled(bool(action));
    if (action) {
        connect(entry, &QAction::triggered, this, [action] { action(); });
    }
    return entry;
}

void StatusItemController::show() {
    m_trayIcon.show();
}

bool StatusItemController::hasSystemTray() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QString StatusItemController::captureAreaTitle(const std::optional<QString>& shortcutText) {
    if (!shortcutText || shortcutText->isEmpty()) {
        return QStringLiteral("Capture Area");
    }
    return QStringLiteral("Capture Area  (%1)").arg(*shortcutText);
}

void StatusItemController::updateCaptureMenuTitle(const std::optional<QString>& shortcutText) {
    m_captureArea->setText(captureAreaTitle(shortcutText));
}

void StatusItemController::refreshRecordingTitle() {
    const bool recording = m_actions.isRecording && m_actions.isRecording();
    m_recording->setText(recording ? kStopRecordingTitle : kStartRecordingTitle);
}

StatusItemController::ClickResponse
StatusItemController::responseTo(QSystemTrayIcon::ActivationReason reason,
                                 Qt::KeyboardModifiers modifiers, bool hasHistory) {
    switch (reason) {
    case QSystemTrayIcon::Context:
        return ClickResponse::ShowMenu;
    case QSystemTrayIcon::Trigger:
    // The second click of a quick pair arrives as a double click; it toggles again, as
    // every click does.
    case QSystemTrayIcon::DoubleClick:
        if (modifiers.testFlag(Qt::ControlModifier) || !hasHistory) {
            return ClickResponse::ShowMenu;
        }
        return ClickResponse::ToggleHistory;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return ClickResponse::Nothing;
}

void StatusItemController::handleActivation(QSystemTrayIcon::ActivationReason reason,
                                            Qt::KeyboardModifiers modifiers) {
    switch (responseTo(reason, modifiers, bool(m_actions.toggleHistory))) {
    case ClickResponse::ToggleHistory:
        m_actions.toggleHistory();
        break;
    case ClickResponse::ShowMenu:
        // The menu is not the tray's context menu: both buttons route through here, and the
        // pointer is where the user just clicked the item.
        m_menu.popup(QCursor::pos());
        break;
    case ClickResponse::Nothing:
        break;
    }
}

QIcon StatusItemController::icon() {
    QIcon icon;
    for (const int sidePx : kIconSizesPx) {
        icon.addPixmap(iconPixmap(sidePx));
    }
    return icon;
}

} // namespace ivra
