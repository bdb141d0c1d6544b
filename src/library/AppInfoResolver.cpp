#include "library/AppInfoResolver.h"

#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace ivra {

namespace {

// Theme icon names carry no extension, but some entries write one anyway.
QString themeIconName(QString icon) {
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        if (icon.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) {
            icon.chop(4);
            break;
        }
    }
    return icon;
}

QIcon iconFor(const QString& iconValue) {
    if (iconValue.isEmpty()) {
        return {};
    }
    if (QDir::isAbsolutePath(iconValue)) {
        // QIcon accepts any path; only a readable image makes an icon.
        return QImageReader(iconValue).canRead() ? QIcon(iconValue) : QIcon();
    }
    return QIcon::fromTheme(themeIconName(iconValue));
}

QString lastDottedPart(const QString& bundleID) {
    const QString last = bundleID.section(QLatin1Char('.'), -1);
    // "org.example." would give nothing to show.
    return last.isEmpty() ? bundleID : last;
}

} // namespace

AppInfoResolver::AppInfoResolver(platform::DesktopEntryIndex index)
    : m_index(std::move(index)) {
}

AppInfoResolver& AppInfoResolver::shared() {
    // Never destroyed: its icons must not outlive the application object at exit.
    static auto* const resolver = new AppInfoResolver;
    return *resolver;
}

AppInfoResolver::Info AppInfoResolver::info(const std::optional<QString>& bundleID) {
    if (!bundleID || bundleID->isEmpty()) {
        return {QLatin1String(kNoSourceName), QIcon()};
    }
    if (const auto cached = m_cache.constFind(*bundleID); cached != m_cache.constEnd()) {
        return *cached;
    }
    Info result = resolve(*bundleID);
    m_cache.insert(*bundleID, result);
    return result;
}

AppInfoResolver::Info AppInfoResolver::resolve(const QString& bundleID) const {
    const auto entry = m_index.find(bundleID);
    if (!entry) {
        return {lastDottedPart(bundleID), QIcon()};
    }
    QString name = entry->localizedName;
    if (name.isEmpty()) {
        name = entry->name;
    }
    if (name.isEmpty()) {
        name = QFileInfo(entry->filePath).fileName();
        name.chop(static_cast<qsizetype>(qstrlen(".desktop")));
    }
    return {name, iconFor(entry->icon)};
}

} // namespace ivra
