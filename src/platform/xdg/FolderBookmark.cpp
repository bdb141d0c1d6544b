#include "platform/xdg/FolderBookmark.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace ivra::platform {

namespace {

constexpr int kFormatVersion = 1;

struct FileIdentity {
    qint64 device = 0;
    qint64 inode = 0;
};

std::optional<FileIdentity> directoryIdentity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<qint64>(st.st_dev), static_cast<qint64>(st.st_ino)};
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
    const bool same = deviceOk && inodeOk && device == identity->device && inode == identity->inode;
    return ResolvedBookmark{path, !same};
}

} // namespace ivra::platform
