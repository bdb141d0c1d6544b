#include "diagnostics/CrashEvent.h"

#include <chrono>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <QUuid>

namespace ivra {

namespace diagnostics {

QString levelName(ReportLevel level) {
    switch (level) {
    case ReportLevel::Error:
        return QStringLiteral("error");
    case ReportLevel::Fatal:
        return QStringLiteral("fatal");
    }
    return QStringLiteral("error");
}

QString versionOrZero(const QString& version) {
    return version.isEmpty() ? QStringLiteral("0") : version;
}

QString newEventId() {
    return QUuid::createUuid().toString(QUuid::Id128).toLower();
}

double currentTimestampS() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) /
           1e6;
}

QString leadingCharacters(QStringView text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(),
                               static_cast<int>(text.size()));
    qsizetype end = 0;
    for (int taken = 0; taken < count; ++taken) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0) {
            return text.toString();
        }
        end = next;
    }
    return text.first(end).toString();
}

} // namespace diagnostics

CrashEvent CrashEvent::create(const QString& type, const QString& value, const QStringList& frames,
                              ReportLevel level, const QString& version) {
    CrashEvent event;
    event.eventId = diagnostics::newEventId();
    event.timestampS = diagnostics::currentTimestampS();
    event.level = level;
    event.version = version;
    event.type = type;
    event.value = value;
    event.frames = frames;
    return event;
}

QByteArray CrashEvent::toJson() const {
    QJsonArray frameArray;
    const qsizetype first = std::max<qsizetype>(0, frames.size() - kMaxFrames);
    for (qsizetype i = first; i < frames.size(); ++i) {
        frameArray.append(QJsonObject{
            {QStringLiteral("function"),
             diagnostics::leadingCharacters(frames.at(i), kMaxFrameCharacters)},
        });
    }
    const QJsonObject exception{
        {QStringLiteral("type"), type},
        {QStringLiteral("value"), diagnostics::leadingCharacters(value, kMaxValueCharacters)},
        {QStringLiteral("stacktrace"), QJsonObject{{QStringLiteral("frames"), frameArray}}},
    };
    const QJsonObject document{
        {QStringLiteral("event_id"), eventId},
        {QStringLiteral("timestamp"), timestampS},
        {QStringLiteral("platform"), QStringLiteral("cocoa")},
        {QStringLiteral("level"), diagnostics::levelName(level)},
        {QStringLiteral("release"), QStringLiteral("ivra@") + diagnostics::versionOrZero(version)},
        {QStringLiteral("exception"),
         QJsonObject{{QStringLiteral("values"), QJsonArray{exception}}}},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

} // namespace ivra
