#include "app/ui/PermissionsManager.h"

#include <QMessageBox>

#include "app/ui/DesktopSettingsPageOpener.h"

namespace ivra {

PermissionsManager::PermissionsManager(std::shared_ptr<SettingsPageOpener> opener)
    : m_opener(opener ? std::move(opener) : std::make_shared<DesktopSettingsPageOpener>()) {
}

QString PermissionsManager::alertMessage() {
    return QStringLiteral("Screen Recording Access Needed");
}

QString PermissionsManager::alertInformativeText() {
    // Desktops keep this permission in different places (a portal dialog, a privacy page,
    // per-application permissions), so the text names none of them.
    return QStringLiteral("Ivra needs Screen Recording permission to capture your screen. "
                          "Enable Ivra under your desktop's privacy settings.");
}

QString PermissionsManager::alertButtonTitle() {
    return QStringLiteral("Open System Settings");
}

void PermissionsManager::showScreenRecordingAlert(QWidget* parent) const {
    QMessageBox alert(parent);
    alert.setIcon(QMessageBox::Warning);
    alert.setText(alertMessage());
    alert.setInformativeText(alertInformativeText());
    alert.addButton(alertButtonTitle(), QMessageBox::AcceptRole);
    alert.exec();
    // The alert has only the one button: however it ended, the user goes to the settings.
    m_opener->openScreenRecordingSettings();
}

} // namespace ivra
