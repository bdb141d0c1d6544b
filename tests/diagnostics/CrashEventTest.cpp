#include <unistd.h>

#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include "CrashTestSupport.h"
#include "diagnostics/CrashEvent.h"
#include "diagnostics/SignalSafeJsonWriter.h"

using namespace ivra;
using test::exceptionOf;
using test::functionsOf;
using test::parseReport;

namespace {

// Runs `write` against a writer on a file and returns what came out.
template <typename Write> QByteArray writtenBy(Write&& write) {
    QTemporaryFile file;
    if (!file.open()) {
        return {};
    }
    diagnostics::SignalSafeJsonWriter writer(file.handle());
    write(writer);
    if (!writer.finish()) {
        return "<write failed>";
    }
    file.seek(0);
    return file.readAll();
}

} // namespace

class CrashEventTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void documentKeepsItsLimitsAndAFreshId();
    void signalSafeStringsAreValidJson_data();
    void signalSafeStringsAreValidJson();
    void signalSafeNumbersLinesAndLongOutput();
};

void CrashEventTest::documentKeepsItsLimitsAndAFreshId() {
    // Each unit is one user-perceived character, which a cut never splits.
    for (const QString& unit : {QStringLiteral("a"), QStringLiteral("e\u0301"),
                                QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467")}) {
        QStringList frames;
        QStringList kept; // caller first: the 40 frames nearest the failure
        for (int i = 1; i <= 55; ++i) {
            frames.append(unit.repeated(i * 5));
            if (i > 15) {
                kept.append(unit.repeated(std::min(i * 5, 200)));
            }
        }
        const QJsonObject document = parseReport(
            CrashEvent::create({}, unit.repeated(600), frames, ReportLevel::Error, {}).toJson());
        QCOMPARE(exceptionOf(document)["value"].toString(), unit.repeated(500));
        QCOMPARE(functionsOf(document), kept);
    }
    // Ids are fresh every time, without dashes or upper-case letters; no version reads "0".
    const auto created = [] {
        return parseReport(CrashEvent::create({}, {}, {}, ReportLevel::Error, {}).toJson());
    };
    const QJsonObject first = created();
    const QString id = first["event_id"].toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(id).hasMatch(),
             qPrintable(id));
    QVERIFY(id != created()["event_id"].toString());
    QCOMPARE(first["release"].toString(), QStringLiteral("ivra@0"));
}

void CrashEventTest::signalSafeStringsAreValidJson_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxCharacters");
    QTest::addColumn<QString>("expected");
    const QString special = QStringLiteral("a\"b\\c\nd\te\x01"
                                           "f\x1f\x7f/home/олена/🦀");
    QTest::newRow("json specials and utf-8") << special.toUtf8() << 200 << special;
    QTest::newRow("cut by characters, not bytes")
        << QStringLiteral("ї").repeated(300).toUtf8() << 200 << QStringLiteral("ї").repeated(200);
    QTest::newRow("cut before a four-byte character")
        << QStringLiteral("ab🦀").toUtf8() << 2 << QStringLiteral("ab");
    // A stray byte, a stray continuation, an overlong slash, a surrogate, a code point above
    // U+10FFFF and a sequence cut by the end: every bad byte becomes U+FFFD.
    QTest::newRow("invalid utf-8")
        << QByteArray("a\xff"
                      "b\x80"
                      "c\xc0\xaf"
                      "d\xed\xa0\x80"
                      "e\xf4\x90\x80\x80"
                      "f\xe2\x82")
        << 200 << QStringLiteral("a#b#c##d###e####f##").replace('#', QChar(0xFFFD));
}

void CrashEventTest::signalSafeStringsAreValidJson() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxCharacters);
    QFETCH(QString, expected);
    const QByteArray json = writtenBy([&](diagnostics::SignalSafeJsonWriter& writer) {
        writer.raw("{\"s\":");
        writer.string(bytes.constData(), static_cast<std::size_t>(bytes.size()),
                      static_cast<std::size_t>(maxCharacters));
        writer.raw("}");
    });
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, json.constData());
    QCOMPARE(document["s"].toString(), expected);
}

void CrashEventTest::signalSafeNumbersLinesAndLongOutput() {
    // More than the writer's buffer holds goes out whole; fractions keep their zeros.
    const QByteArray out = writtenBy([](diagnostics::SignalSafeJsonWriter& writer) {
        for (int i = 0; i < 1000; ++i) {
            writer.raw("0123456789");
        }
        writer.number(1717171717);
        writer.raw(".");
        writer.number(42, 6);
        writer.raw(" ");
        writer.hex(0xdeadbeef);
    });
    QCOMPARE(out, QByteArray("0123456789").repeated(1000) + "1717171717.000042 0xdeadbeef");

    // Lines longer than the reader's buffer are cut, not overrun; a last line needs no newline.
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    const QByteArray input = "first\n" + QByteArray(5000, 'x') + "\n\nlast";
    QCOMPARE(::write(fds[1], input.constData(), static_cast<size_t>(input.size())),
             static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    QList<QByteArray> lines;
    diagnostics::forEachLine<16>(fds[0], [&](const char* line, std::size_t size) {
        lines.append(QByteArray(line, static_cast<qsizetype>(size)));
    });
    ::close(fds[0]);
    QCOMPARE(lines, QList<QByteArray>({"first", QByteArray(16, 'x'), "", "last"}));
}

QTEST_GUILESS_MAIN(CrashEventTest)
#include "CrashEventTest.moc"
