#pragma once

#include <optional>

#include <QHash>
#include <QIcon>
#include <QString>

#include "platform/xdg/DesktopEntryIndex.h"

namespace ivra {

// Turns the source application stored with a capture (a desktop-entry id such as
// "org.gnome.Nautilus" or "firefox") into a name and an icon for the history cards.
// Results, including "not installed", are cached for the life of the resolver so that
// scrolling the history never goes back to the disk. UI thread only.
class AppInfoResolver {
public:
    struct Info {
        QString name;
        // Null when the application has no icon or is not installed.
        QIcon icon;
    };

    static constexpr const char* kNoSourceName = "Screenshot";

    // Looks entries up in the environment's application folders.
    AppInfoResolver() = default;
    explicit AppInfoResolver(platform::DesktopEntryIndex index);

    // The application's resolver, created on first use.
    static AppInfoResolver& shared();

    // The entry's localized Name, else its Name, else its file name without ".desktop";
    // without an entry, the last dotted part of the id and no icon. An absent or empty id
    // gives "Screenshot" and is not cached.
    Info info(const std::optional<QString>& bundleID);

private:
    Info resolve(const QString& bundleID) const;

    platform::DesktopEntryIndex m_index;
    QHash<QString, Info> m_cache;
};

} // namespace ivra
