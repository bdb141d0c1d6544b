#include "platform/xdg/IniKeyValueStore.h"

#include <QDir>
#include <QFile>
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
    const QVariant value = m_settings->value(key);
    if (value.typeId() == QMetaType::QStringList) {
        // Only a hand-written value has unquoted commas (ours are always quoted); the user
        // meant the text as written, not a list.
        if (const auto raw = rawText(key)) {
            return *raw;
        }
    }
    return value;
}

std::optional<QString> IniKeyValueStore::rawText(const QString& key) const {
    QFile file(m_settings->fileName());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    // Keys of the general section stand before any section or under [General].
    bool inGeneral = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGeneral = line == QLatin1String("[General]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inGeneral && equals > 0 && QStringView(line).left(equals).trimmed() == key) {
            return line.mid(equals + 1).trimmed();
        }
    }
    return std::nullopt;
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
