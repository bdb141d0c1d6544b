#include "platform/x11/DesktopIdResolver.h"

#include <utility>

#include <QFile>
#include <QFileInfo>

#include "platform/x11/XcbConnection.h"

namespace ivra::platform {

namespace {

// Longer than any real desktop-file id; keeps lookups of junk cheap.
constexpr qsizetype kMaxIDLength = 255;

void appendWithLowerCase(QStringList& candidates, const QString& name) {
    if (name.isEmpty()) {
        return;
    }
    candidates << name;
    if (const QString lower = name.toLower(); lower != name) {
        candidates << lower;
    }
}

QString procBaseName(qint64 pid) {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    return exe.isEmpty() ? QString() : QFileInfo(exe).fileName();
}

QString commandBaseName(qint64 pid) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray firstArgument = cmdline.read(4096).split('\0').value(0);
    return QFileInfo(QString::fromLocal8Bit(firstArgument)).fileName();
}

} // namespace

DesktopIdResolver::DesktopIdResolver(DesktopEntryIndex index)
    : m_index(std::move(index)) {
}

bool DesktopIdResolver::isPlainID(const QString& id) {
    if (id.isEmpty() || id.size() > kMaxIDLength || id.startsWith(QLatin1Char('.')) ||
        id.contains(QLatin1String(".."))) {
        return false;
    }
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                             (u >= '0' && u <= '9') || u == '.' || u == '_' || u == '-';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

QStringList DesktopIdResolver::wmClassCandidates(const QByteArray& wmClass) {
    QStringList candidates;
    const QList<QByteArray> parts = wmClass.split('\0');
    for (int i = 0; i < qMin<qsizetype>(2, parts.size()); ++i) {
        appendWithLowerCase(candidates, QString::fromUtf8(parts.at(i)));
    }
    return candidates;
}

std::optional<QString> DesktopIdResolver::firstInstalled(const QStringList& candidates) const {
    for (const QString& candidate : candidates) {
        if (isPlainID(candidate) && m_index.find(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<QString> DesktopIdResolver::applicationID(XcbConnection& connection,
                                                        xcb_window_t client, qint64 pid) const {
    QStringList candidates;
    if (const auto wmClass = connection.byteProperty(client, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
        candidates << wmClassCandidates(*wmClass);
    }
    if (pid > 0) {
        appendWithLowerCase(candidates, procBaseName(pid));
        appendWithLowerCase(candidates, commandBaseName(pid));
    }
    candidates.removeDuplicates();
    return firstInstalled(candidates);
}

} // namespace ivra::platform
