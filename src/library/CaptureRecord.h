#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QUuid>

namespace ivra {

// One stored capture: where its full image and thumbnail lie, its pixel size, when and
// from which application it was taken, and whether the user pinned it. The pixels are
// never in the store, only the paths. Only CaptureRepository creates records.
struct CaptureRecord {
    QUuid id;
    // UTC; shown in local time by the views.
    QDateTime createdAt;
    QString imagePath;
    QString thumbnailPath;
    qint64 width = 0;
    qint64 height = 0;
    std::optional<QString> sourceAppBundleID;
    QString statusRaw;
    bool pinned = false;

    // The standard upper-case text form, as stored and as used in the thumbnail name.
    QString idText() const { return id.toString(QUuid::WithoutBraces).toUpper(); }

    // Two records are the same capture when their ids match, whatever their pinned flag
    // was when each was read.
    friend bool operator==(const CaptureRecord& a, const CaptureRecord& b) { return a.id == b.id; }
};

} // namespace ivra
