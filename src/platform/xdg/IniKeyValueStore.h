#pragma once

#include <memory>
#include <optional>

#include <QSettings>

#include "settings/KeyValueStore.h"

namespace ivra::platform {

// User preferences in an INI file, by default "Vantrel/Ivra.conf" under the XDG config
// folder. A damaged or unreadable file reads as an empty store; the application still
// starts and every key takes its default.
class IniKeyValueStore final : public KeyValueStore {
public:
    IniKeyValueStore();
    explicit IniKeyValueStore(const QString& filePath);

    static QString defaultFilePath();

    QVariant value(const QString& key) const override;
    bool contains(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    QString filePath() const { return m_settings->fileName(); }

private:
    // The value of a key of the general section exactly as written in the file.
    std::optional<QString> rawText(const QString& key) const;

    std::unique_ptr<QSettings> m_settings;
};

} // namespace ivra::platform
