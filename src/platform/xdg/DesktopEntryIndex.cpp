#include "platform/xdg/DesktopEntryIndex.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace ivra::platform {

namespace {

constexpr const char* kDesktopSuffix = ".desktop";
// Real entries are a few kilobytes; anything far larger is not worth reading.
constexpr qint64 kMaxEntryBytes = 1 << 20;
// Ids with more dashes than this are only looked up as written (the subfolder forms
// double with every dash).
constexpr int kMaxDashesAsFolders = 4;

// Name[...] keys to try, best first, for a locale lang_COUNTRY.ENCODING@MODIFIER.
QStringList localeSuffixes(QString locale) {
    QString modifier;
    if (const qsizetype at = locale.indexOf(QLatin1Char('@')); at >= 0) {
        modifier = locale.mid(at + 1);
        locale.truncate(at);
    }
    if (const qsizetype dot = locale.indexOf(QLatin1Char('.')); dot >= 0) {
        locale.truncate(dot);
    }
    if (locale.isEmpty() || locale == QLatin1String("C") || locale == QLatin1String("POSIX")) {
        return {};
    }
    const QString language = locale.section(QLatin1Char('_'), 0, 0);
    const bool hasCountry = locale.contains(QLatin1Char('_'));
    QStringList suffixes;
    if (hasCountry && !modifier.isEmpty()) {
        suffixes << locale + QLatin1Char('@') + modifier;
    }
    if (hasCountry) {
        suffixes << locale;
    }
    if (!modifier.isEmpty()) {
        suffixes << language + QLatin1Char('@') + modifier;
    }
    suffixes << language;
    return suffixes;
}

// Undoes the escapes of the desktop entry format (\s \n \t \r \\).
QString unescape(const QString& value) {
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            result += QLatin1Char(' ');
            break;
        case 'n':
            result += QLatin1Char('\n');
            break;
        case 't':
            result += QLatin1Char('\t');
            break;
        case 'r':
            result += QLatin1Char('\r');
            break;
        default:
            result += next;
            break;
        }
    }
    return result;
}

// Whether every component of a relative path names a plain entry inside its folder: none
// empty (a leading dash would make the path absolute), none "." or ".." or hidden.
bool staysInsideFolder(const QString& relativePath) {
    const QStringList components = relativePath.split(QLatin1Char('/'));
    return std::none_of(components.begin(), components.end(), [](const QString& component) {
        return component.isEmpty() || component.startsWith(QLatin1Char('.'));
    });
}

// Whether `path`, with every symbolic link resolved, lies inside `folder`.
bool resolvesInside(const QString& path, const QString& folder) {
    const QString resolvedFolder = QFileInfo(folder).canonicalFilePath();
    const QString resolvedPath = QFileInfo(path).canonicalFilePath();
    return !resolvedFolder.isEmpty() && resolvedPath.startsWith(resolvedFolder + QLatin1Char('/'));
}

// The relative paths an id may have: "a-b-c" may be a-b-c.desktop, a/b-c.desktop,
// a-b/c.desktop or a/b/c.desktop. Forms that would leave the folder are left out.
QStringList candidatePaths(const QString& id) {
    QList<qsizetype> dashes;
    for (qsizetype i = 0; i < id.size(); ++i) {
        if (id.at(i) == QLatin1Char('-')) {
            dashes << i;
        }
    }
    if (dashes.size() > kMaxDashesAsFolders) {
        dashes.clear();
    }
    QStringList paths;
    for (int mask = 0; mask < (1 << dashes.size()); ++mask) {
        QString path = id;
        for (int bit = 0; bit < dashes.size(); ++bit) {
            if (mask & (1 << bit)) {
                path[dashes[bit]] = QLatin1Char('/');
            }
        }
        if (staysInsideFolder(path)) {
            paths << path + QLatin1String(kDesktopSuffix);
        }
    }
    return paths;
}

struct ParsedEntry {
    DesktopEntry entry;
    bool hidden = false;
};

std::optional<ParsedEntry> parseEntry(const QString& filePath, const QString& id,
                                      const QStringList& localeSuffixes) {
    QFile file(filePath);
    if (file.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(file.read(kMaxEntryBytes));
    ParsedEntry parsed;
    parsed.entry.id = id;
    parsed.entry.filePath = filePath;
    int localizedRank = static_cast<int>(localeSuffixes.size());
    bool inMainGroup = false;
    bool sawMainGroup = false;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || equals < 0) {
            continue;
        }
        const QStringView key = line.left(equals).trimmed();
        const QString value = unescape(line.mid(equals + 1).trimmed().toString());
        if (key == QLatin1String("Name")) {
            parsed.entry.name = value;
        } else if (key == QLatin1String("Icon")) {
            parsed.entry.icon = value;
        } else if (key == QLatin1String("Hidden")) {
            parsed.hidden = value == QLatin1String("true");
        } else if (key.startsWith(QLatin1String("Name[")) && key.endsWith(QLatin1Char(']'))) {
            const QString suffix = key.mid(5, key.size() - 6).toString();
            const int rank = static_cast<int>(localeSuffixes.indexOf(suffix));
            if (rank >= 0 && rank < localizedRank) {
                localizedRank = rank;
                parsed.entry.localizedName = value;
            }
        }
    }
    if (!sawMainGroup) {
        return std::nullopt;
    }
    return parsed;
}

} // namespace

DesktopEntryIndex::DesktopEntryIndex()
    : DesktopEntryIndex(defaultApplicationDirs(), messagesLocale()) {
}

DesktopEntryIndex::DesktopEntryIndex(QStringList applicationDirs, QString locale)
    : m_applicationDirs(std::move(applicationDirs))
    , m_localeSuffixes(localeSuffixes(std::move(locale))) {
}

QStringList DesktopEntryIndex::defaultApplicationDirs() {
    // $XDG_DATA_HOME/applications first, then $XDG_DATA_DIRS, each with its default.
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

QString DesktopEntryIndex::messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty()) {
            return value == QLatin1String("C") || value == QLatin1String("POSIX") ? QString()
                                                                                  : value;
        }
    }
    return {};
}

std::optional<DesktopEntry> DesktopEntryIndex::find(const QString& desktopId) const {
    QString id = desktopId;
    if (id.endsWith(QLatin1String(kDesktopSuffix))) {
        id.chop(static_cast<qsizetype>(qstrlen(kDesktopSuffix)));
    }
    // The id comes from other programs' window properties: never let it reach outside the
    // application folders.
    if (id.isEmpty() || id.startsWith(QLatin1Char('.')) || id.contains(QLatin1Char('/')) ||
        id.contains(QChar(0))) {
        return std::nullopt;
    }
    const QStringList candidates = candidatePaths(id);
    for (const QString& folder : m_applicationDirs) {
        for (const QString& candidate : candidates) {
            const QString path = QDir(folder).filePath(candidate);
            // A link inside the folder may point anywhere; only files that really lie in
            // an application folder count.
            if (!QFileInfo(path).isFile() || !resolvesInside(path, folder)) {
                continue;
            }
            const auto parsed = parseEntry(path, id, m_localeSuffixes);
            if (!parsed) {
                continue;
            }
            if (parsed->hidden) {
                return std::nullopt;
            }
            return parsed->entry;
        }
    }
    return std::nullopt;
}

} // namespace ivra::platform
