#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace ivra::platform {

// What a desktop entry (an installed application's ".desktop" file) says about itself.
struct DesktopEntry {
    // The desktop-file id without ".desktop", e.g. "org.gnome.Nautilus" or "firefox".
    QString id;
    QString filePath;
    // Name[<locale>] for the best matching locale; empty when the entry has none.
    QString localizedName;
    // The plain Name; empty when missing.
    QString name;
    // The Icon value as written: a theme icon name or an absolute file path.
    QString icon;
};

// Finds desktop entries by id in the XDG application folders, earlier folders first
// ($XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS). An entry marked Hidden
// counts as removed, also for the same id in later folders.
class DesktopEntryIndex {
public:
    // The folders and the messages locale of the environment at construction.
    DesktopEntryIndex();
    // `locale` as in LC_MESSAGES ("uk_UA.UTF-8", "sr_RS@latin"); empty for none.
    DesktopEntryIndex(QStringList applicationDirs, QString locale);

    static QStringList defaultApplicationDirs();
    // The first set of LC_ALL, LC_MESSAGES and LANG; empty for "C" and "POSIX".
    static QString messagesLocale();

    // Nothing when no entry has this id (with or without ".desktop"), the id is not a
    // plain file name, or the entry is hidden.
    std::optional<DesktopEntry> find(const QString& desktopId) const;

private:
    QStringList m_applicationDirs;
    QStringList m_localeSuffixes;
};

} // namespace ivra::platform
