#pragma once

namespace ivra {

// Sends the user to the desktop's settings where screen recording is allowed.
class SettingsPageOpener {
public:
    virtual ~SettingsPageOpener() = default;
    // False when the desktop has no such page that Ivra knows how to open.
    virtual bool openScreenRecordingSettings() = 0;
};

} // namespace ivra
