#include "platform/xdg/FolderBookmark.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace ivra::platform {

namespace {

constexpr int kFormatVersion = 1;

// Device and inode name a directory while it exists, but a file system may hand a
// freed inode number to the next directory made, so a folder removed and recreated
// under the same path can look identical. The birth time (where the file system
// records one) tells the two apart.
struct FileIdentity {
    qint64 device = 0;
    qint64 inode = 0;
    std::optional<QString> birth;
};

std::optional<FileIdentity> directoryIdentity(const QString& path) {
    struct statx st {};
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), 0,
                STATX_TYPE | STATX_INO | STATX_BTIME, &st) != 0 ||
        !S_ISDIR(st.stx_mode)) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.device = static_cast<qint64>(makedev(st.stx_dev_major, st.stx_dev_minor));
    identity.inode = static_cast<qint64>(st.stx_ino);
    if ((st.stx_mask & STATX_BTIME) != 0) {
        identity.birth = QStringLiteral("%1.%2")
                             .arg(st.stx_btime.tv_sec)
                             .arg(st.stx_btime.tv_nsec, 9, 10, QLatin1Char('0'));
    }
    return identity;
}

} // namespace

std::optional<QByteArray> FolderBookmark::create(const QString& directoryPath) {
    const QString path = QDir::cleanPath(QDir(directoryPath).absolutePath());
    const auto identity = directoryIdentity(path);
    if (!identity) {
        return std::nullopt;
    }
    QJsonObject object{{QStringLiteral("v"), kFormatVersion},
                       {QStringLiteral("path"), path},
                       {QStringLiteral("dev"), QString::number(identity->device)},
                       {QStringLiteral("ino"), QString::number(identity->inode)}};
    if (identity->birth) {
        object.insert(QStringLiteral("birth"), *identity->birth);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ResolvedBookmark> FolderBookmark::resolve(const QByteArray& bookmark) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bookmark, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QString path = object.value(QStringLiteral("path")).toString();
    if (object.value(QStringLiteral("v")).toInt() != kFormatVersion || path.isEmpty()) {
        return std::nullopt;
    }
    const auto identity = directoryIdentity(path);
    if (!identity) {
        return std::nullopt;
    }
    bool deviceOk = false;
    bool inodeOk = false;
    const qint64 device = object.value(QStringLiteral("dev")).toString().toLongLong(&deviceOk);
    const qint64 inode = object.value(QStringLiteral("ino")).toString().toLongLong(&inodeOk);
    bool same = deviceOk && inodeOk && device == identity->device && inode == identity->inode;
    // Bookmarks made where no birth time was known compare by device and inode alone.
    const QJsonValue birth = object.value(QStringLiteral("birth"));
    if (same && birth.isString() && identity->birth) {
        same = birth.toString() == *identity->birth;
    }
    return ResolvedBookmark{path, !same};
}

} // namespace ivra::platform
