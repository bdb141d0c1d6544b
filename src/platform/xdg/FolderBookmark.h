#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace ivra::platform {

// A lasting reference to a folder: an opaque blob naming the folder by path and by
// file identity (device and inode), so that a folder replaced under the same path is
// noticed. Stands in for the security-scoped bookmarks of sandboxed desktops.
struct ResolvedBookmark {
    QString path;
    // The folder at the path is not the one the bookmark was made for (it was replaced
    // or recreated); the caller should make a new bookmark.
    bool stale = false;
};

class FolderBookmark {
public:
    // Nothing when the path is not an existing directory.
    static std::optional<QByteArray> create(const QString& directoryPath);
    // Nothing when the blob is damaged or no directory exists at its path any more.
    static std::optional<ResolvedBookmark> resolve(const QByteArray& bookmark);
};

} // namespace ivra::platform
