#pragma once

#include <optional>

#include <xcb/xcb.h>

#include <QString>
#include <QStringList>

#include "platform/xdg/DesktopEntryIndex.h"

namespace ivra::platform {

class XcbConnection;

// Finds the installed application behind a client window as a desktop-entry id. Window
// properties and /proc entries belong to other processes, so every candidate is checked
// to be a plain id before it is looked up, and only ids of installed entries are returned.
class DesktopIdResolver {
public:
    DesktopIdResolver() = default;
    explicit DesktopIdResolver(DesktopEntryIndex index);

    // Candidates in order: WM_CLASS instance and class (as written, then lower-cased), the
    // base name of /proc/<pid>/exe, then of the first command-line argument.
    std::optional<QString> applicationID(XcbConnection& connection, xcb_window_t client,
                                         qint64 pid) const;
    // The first candidate that is a plain id with an installed entry.
    std::optional<QString> firstInstalled(const QStringList& candidates) const;

    // Letters, digits, ".", "_" and "-"; no leading ".", no "..".
    static bool isPlainID(const QString& id);
    // The two NUL-separated strings of WM_CLASS (instance, class).
    static QStringList wmClassCandidates(const QByteArray& wmClass);

private:
    DesktopEntryIndex m_index;
};

} // namespace ivra::platform
