#include "diagnostics/CrashReporter.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "IvraConfig.h"
#include "diagnostics/CrashHandlers.h"
#include "diagnostics/CrashUpload.h"

namespace ivra {

namespace {

QString buildSettingOrEnvironment(const char* variable, const char* buildValue) {
    if (qEnvironmentVariableIsSet(variable)) {
        return qEnvironmentVariable(variable);
    }
    return QString::fromUtf8(buildValue);
}

bool replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The session marker names its process by id and start time: ids are reused, the pair is
// not.
struct MarkerOwner {
    qint64 pid = 0;
    quint64 startTicks = 0;
};

// When a live process started, in clock ticks after boot (field 22 of /proc/PID/stat);
// nothing for a process that is gone or only waits to be reaped.
std::optional<quint64> startTicksOf(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return std::nullopt;
    }
    // The command name in field 2 is in parentheses and may hold spaces and ')'.
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(nameEnd + 1));
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X") {
        return std::nullopt;
    }
    std::string skipped;
    for (int field = 4; field <= 21; ++field) {
        fields >> skipped;
    }
    quint64 startTicks = 0;
    if (!(fields >> startTicks)) {
        return std::nullopt;
    }
    return startTicks;
}

QByteArray markerFor(const QString& version) {
    const qint64 pid = ::getpid();
    QByteArray marker = "version=" + diagnostics::versionOrZero(version).toUtf8() +
                        "\npid=" + QByteArray::number(pid) + '\n';
    // Without /proc the marker cannot be matched to a process, and is read as a crash
    // like a marker of an earlier version.
    if (const auto startTicks = startTicksOf(pid)) {
        marker += "started=" + QByteArray::number(*startTicks) + '\n';
    }
    return marker;
}

// Nothing for a marker that names no process: from an earlier version (the version alone),
// empty, or damaged.
std::optional<MarkerOwner> ownerOf(const QByteArray& marker) {
    std::optional<qint64> pid;
    std::optional<quint64> startTicks;
    for (const QByteArray& line : marker.split('\n')) {
        bool ok = false;
        if (line.startsWith("pid=")) {
            pid = line.mid(4).toLongLong(&ok);
            if (!ok || *pid <= 0) {
                return std::nullopt;
            }
        } else if (line.startsWith("started=")) {
            startTicks = line.mid(8).toULongLong(&ok);
            if (!ok) {
                return std::nullopt;
            }
        }
    }
    if (!pid || !startTicks) {
        return std::nullopt;
    }
    return MarkerOwner{*pid, *startTicks};
}

bool isRunning(const MarkerOwner& owner) {
    return startTicksOf(owner.pid) == owner.startTicks;
}

} // namespace

CrashReporter::CrashReporter(Config config)
    : m_config(std::move(config)) {
}

CrashReporter CrashReporter::forApplication() {
    return CrashReporter(Config{
        .directory = defaultDirectory(),
        .version = QStringLiteral(IVRA_VERSION),
        .endpoint = buildSettingOrEnvironment("IVRA_CRASH_ENDPOINT", IVRA_CRASH_ENDPOINT),
        .publicKey = buildSettingOrEnvironment("IVRA_CRASH_PUBLIC_KEY", IVRA_CRASH_PUBLIC_KEY),
    });
}

QString CrashReporter::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Vantrel/crash");
}

QString CrashReporter::sessionPath() const {
    return QDir(m_config.directory).filePath(QString::fromLatin1(kSessionFileName));
}

QString CrashReporter::pendingPath() const {
    return QDir(m_config.directory).filePath(QString::fromLatin1(kPendingFileName));
}

bool CrashReporter::ensureDirectory() const {
    return QDir().mkpath(m_config.directory);
}

void CrashReporter::flushPending() const {
    ensureDirectory();
    QFile file(pendingPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray body = file.readAll();
    file.close();
    QFile::remove(pendingPath());

    const auto request = diagnostics::crashUploadRequest({
        .endpoint = m_config.endpoint,
        .publicKey = m_config.publicKey,
        .version = m_config.version,
    });
    if (request) {
        diagnostics::postCrashReport(*request, body);
    }
}

void CrashReporter::detectHardCrash() const {
    ensureDirectory();
    if (!QFile::exists(sessionPath())) {
        return;
    }
    // Another copy of Ivra that is running now (without a session bus, or a mode that runs
    // beside the tray) is not a crash.
    if (const auto owner = ownerOf(readWholeFile(sessionPath())); owner && isRunning(*owner)) {
        return;
    }
    QFile::remove(sessionPath());
    if (QFile::exists(pendingPath())) {
        return;
    }
    writeReport(QString::fromLatin1(kHardCrashType), QString::fromLatin1(kHardCrashValue), {},
                ReportLevel::Fatal);
}

bool CrashReporter::arm() const {
    ensureDirectory();
    // The marker stays with the run that holds it: a render mode started beside the tray
    // ends soon, and its clean exit must not take the tray's marker away with it.
    const QByteArray marker = markerFor(m_config.version);
    const QByteArray current = readWholeFile(sessionPath());
    if (const auto owner = ownerOf(current); owner && current != marker && isRunning(*owner)) {
        return false;
    }
    return replaceFile(sessionPath(), marker);
}

bool CrashReporter::install() const {
    ensureDirectory();
    return diagnostics::installCrashHandlers(*this);
}

void CrashReporter::markCleanExit() const {
    ensureDirectory();
    if (readWholeFile(sessionPath()) == markerFor(m_config.version)) {
        QFile::remove(sessionPath());
    }
}

bool CrashReporter::writeReport(const QString& type, const QString& value,
                                const QStringList& frames, ReportLevel level) const {
    ensureDirectory();
    const CrashEvent event = CrashEvent::create(type, value, frames, level, m_config.version);
    return replaceFile(pendingPath(), event.toJson());
}

} // namespace ivra
