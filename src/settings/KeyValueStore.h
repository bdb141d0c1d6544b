#pragma once

#include <QString>
#include <QVariant>

namespace ivra {

// A persistent key/value store for user preferences. Values are whatever the backend
// returns; SettingsStore does all typing and defaulting, so a backend never needs to
// know the schema.
class KeyValueStore {
public:
    virtual ~KeyValueStore() = default;

    // An invalid QVariant when the key is absent.
    virtual QVariant value(const QString& key) const = 0;
    virtual bool contains(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
};

} // namespace ivra
