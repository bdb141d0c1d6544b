#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "app/ui/SettingsPageOpener.h"

namespace ivra {

// Opens the running desktop's own settings program at its privacy page, chosen by
// XDG_CURRENT_DESKTOP. Desktops without a known settings program get nothing.
class DesktopSettingsPageOpener : public SettingsPageOpener {
public:
    struct Command {
        QString program;
        QStringList arguments;
    };

    // `currentDesktop` as in XDG_CURRENT_DESKTOP: names separated by colons, most specific
    // first ("ubuntu:GNOME").
    explicit DesktopSettingsPageOpener(
        QString currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP"));

    // The first command for the desktop whose program is installed.
    std::optional<Command> command() const;
    bool openScreenRecordingSettings() override;

    // Every command that could open the page on the desktop, best first.
    static QList<Command> candidates(const QString& currentDesktop);

private:
    QString m_currentDesktop;
};

} // namespace ivra
