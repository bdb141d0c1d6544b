#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace ivra::test {

// Reading a crash report back; an empty object when the bytes are not JSON.
inline QJsonObject parseReport(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

inline QJsonObject exceptionOf(const QJsonObject& event) {
    return event["exception"].toObject()["values"].toArray().first().toObject();
}

inline QStringList functionsOf(const QJsonObject& event) {
    QStringList functions;
    for (const QJsonValue frame : exceptionOf(event)["stacktrace"].toObject()["frames"].toArray()) {
        functions.append(frame["function"].toString());
    }
    return functions;
}

} // namespace ivra::test
