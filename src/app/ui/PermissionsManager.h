#pragma once

#include <memory>

#include <QString>

class QWidget;

namespace ivra {

class SettingsPageOpener;

// The one alert about a missing permission: screen recording was refused, and the user is
// sent to the desktop's settings to allow it.
class PermissionsManager {
public:
    // Without an opener, the running desktop's own settings program.
    explicit PermissionsManager(std::shared_ptr<SettingsPageOpener> opener = {});

    // Explains in a modal alert, then opens the settings once the user has read it.
    void showScreenRecordingAlert(QWidget* parent = nullptr) const;

    static QString alertMessage();
    static QString alertInformativeText();
    static QString alertButtonTitle();

private:
    std::shared_ptr<SettingsPageOpener> m_opener;
};

} // namespace ivra
