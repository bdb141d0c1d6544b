#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace ivra {

enum class ReportLevel {
    Error, // an uncaught exception or a fatal signal
    Fatal, // a run that ended without a clean exit
};

// One crash report as the collection endpoint's event-store format wants it. The call
// stack is listed caller first, the failing frame last — the order the endpoint expects —
// so keeping the last lines keeps the frames nearest the failure.
struct CrashEvent {
    static constexpr int kMaxFrames = 40;
    static constexpr int kMaxValueCharacters = 500;
    static constexpr int kMaxFrameCharacters = 200;

    QString eventId;       // 32 lower-case hexadecimal digits
    double timestampS = 0; // seconds since the Unix epoch, with fraction
    ReportLevel level = ReportLevel::Error;
    QString version; // application version; "0" when empty
    QString type;
    QString value;
    QStringList frames;

    // A fresh event stamped with a new id and the current time.
    static CrashEvent create(const QString& type, const QString& value, const QStringList& frames,
                             ReportLevel level, const QString& version);

    // The compact JSON document, with the value and the frames cut to their limits.
    QByteArray toJson() const;
};

namespace diagnostics {

QString levelName(ReportLevel level);

// "0" for an absent version, as the release and client names need one.
QString versionOrZero(const QString& version);

// A random UUID as 32 lower-case hexadecimal digits without dashes.
QString newEventId();

double currentTimestampS();

// The first `count` user-perceived characters (grapheme clusters) of `text`, so a cut
// never splits an accented letter, an emoji sequence or a surrogate pair.
QString leadingCharacters(QStringView text, int count);

} // namespace diagnostics
} // namespace ivra
