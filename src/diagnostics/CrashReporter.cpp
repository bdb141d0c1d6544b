#include "diagnostics/CrashReporter.h"

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
    QFile::remove(sessionPath());
    if (QFile::exists(pendingPath())) {
        return;
    }
    writeReport(QString::fromLatin1(kHardCrashType), QString::fromLatin1(kHardCrashValue), {},
                ReportLevel::Fatal);
}

bool CrashReporter::arm() const {
    ensureDirectory();
    return replaceFile(sessionPath(), diagnostics::versionOrZero(m_config.version).toUtf8());
}

bool CrashReporter::install() const {
    ensureDirectory();
    return diagnostics::installCrashHandlers(*this);
}

void CrashReporter::markCleanExit() const {
    ensureDirectory();
    QFile::remove(sessionPath());
}

bool CrashReporter::writeReport(const QString& type, const QString& value,
                                const QStringList& frames, ReportLevel level) const {
    ensureDirectory();
    const CrashEvent event = CrashEvent::create(type, value, frames, level, m_config.version);
    return replaceFile(pendingPath(), event.toJson());
}

} // namespace ivra
