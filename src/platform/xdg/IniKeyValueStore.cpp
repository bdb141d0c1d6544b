#include "platform/xdg/IniKeyValueStore.h"

#include <QDir>
#include <QStandardPaths>

namespace ivra::platform {

IniKeyValueStore::IniKeyValueStore()
    : IniKeyValueStore(defaultFilePath()) {
}

IniKeyValueStore::IniKeyValueStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {
    // Keep "." and mixed case in key names exactly as written.
    m_settings->setFallbacksEnabled(false);
}

QString IniKeyValueStore::defaultFilePath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Vantrel/Ivra.conf"));
}

QVariant IniKeyValueStore::value(const QString& key) const {
    // Another process (a second instance, the user's editor) may have written the file.
    m_settings->sync();
    return m_settings->value(key);
}

bool IniKeyValueStore::contains(const QString& key) const {
    m_settings->sync();
    return m_settings->contains(key);
}

void IniKeyValueStore::setValue(const QString& key, const QVariant& value) {
    m_settings->setValue(key, value);
    m_settings->sync();
}

void IniKeyValueStore::remove(const QString& key) {
    m_settings->remove(key);
    m_settings->sync();
}

} // namespace ivra::platform
