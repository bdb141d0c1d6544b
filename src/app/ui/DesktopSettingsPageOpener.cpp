#include "app/ui/DesktopSettingsPageOpener.h"

#include <QProcess>
#include <QStandardPaths>

namespace ivra {

DesktopSettingsPageOpener::DesktopSettingsPageOpener(QString currentDesktop)
    : m_currentDesktop(std::move(currentDesktop)) {
}

QList<DesktopSettingsPageOpener::Command>
DesktopSettingsPageOpener::candidates(const QString& currentDesktop) {
    const QString privacy = QStringLiteral("privacy");
    QList<Command> commands;
    for (const QString& desktop : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        const QString name = desktop.trimmed().toLower();
        if (name == u"gnome" || name == u"unity" || name == u"budgie") {
            commands.append({QStringLiteral("gnome-control-center"), {privacy}});
        } else if (name == u"kde") {
            // Plasma 6 names the program without the version; Plasma 5 with it.
            commands.append({QStringLiteral("systemsettings"), {}});
            commands.append({QStringLiteral("systemsettings5"), {}});
        } else if (name == u"x-cinnamon" || name == u"cinnamon") {
            commands.append({QStringLiteral("cinnamon-settings"), {privacy}});
        } else if (name == u"xfce") {
            commands.append({QStringLiteral("xfce4-settings-manager"), {}});
        } else if (name == u"mate") {
            commands.append({QStringLiteral("mate-control-center"), {}});
        } else if (name == u"lxqt") {
            commands.append({QStringLiteral("lxqt-config"), {}});
        }
    }
    return commands;
}

std::optional<DesktopSettingsPageOpener::Command> DesktopSettingsPageOpener::command() const {
    for (const Command& command : candidates(m_currentDesktop)) {
        if (!QStandardPaths::findExecutable(command.program).isEmpty()) {
            return command;
        }
    }
    return std::nullopt;
}

bool DesktopSettingsPageOpener::openScreenRecordingSettings() {
    const auto found = command();
    return found && QProcess::startDetached(found->program, found->arguments);
}

} // namespace ivra
