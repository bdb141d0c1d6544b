#include <fcntl.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include "CrashReportJson.h"
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
    void documentHasTheSixMembers();
    void textIsCutByUserPerceivedCharacters_data();
    void textIsCutByUserPerceivedCharacters();
    void keepsTheLastFortyFramesInOrder_data();
    void keepsTheLastFortyFramesInOrder();

    void signalSafeStringsAreValidJson_data();
    void signalSafeStringsAreValidJson();
    void signalSafeNumbersAndLongOutput();
    void linesAreReadWithoutAllocation();
};

void CrashEventTest::documentHasTheSixMembers() {
    const double before = diagnostics::currentTimestampS();
    const CrashEvent event = CrashEvent::create(QStringLiteral("HardCrash"), QStringLiteral("gone"),
                                                {}, ReportLevel::Fatal, QStringLiteral("2.5.1"));
    const QByteArray json = event.toJson();
    const QJsonObject document = parseReport(json);

    QStringList keys = document.keys();
    keys.sort();
    QCOMPARE(keys,
             QStringList({"event_id", "exception", "level", "platform", "release", "timestamp"}));
    QCOMPARE(document["platform"].toString(), QStringLiteral("cocoa"));
    QCOMPARE(document["level"].toString(), QStringLiteral("fatal"));
    QCOMPARE(document["release"].toString(), QStringLiteral("ivra@2.5.1"));
    QVERIFY(document["timestamp"].isDouble());
    QVERIFY(document["timestamp"].toDouble() >= before - 0.001);
    QVERIFY(document["timestamp"].toDouble() < before + 60);
    const QJsonObject exception = exceptionOf(document);
    QCOMPARE(exception["type"].toString(), QStringLiteral("HardCrash"));
    QCOMPARE(exception["value"].toString(), QStringLiteral("gone"));
    QVERIFY(json.contains(R"("frames":[])"));
    // Compact: re-serialising compactly changes nothing.
    QCOMPARE(QJsonDocument(document).toJson(QJsonDocument::Compact), json);

    // Ids are fresh every time and never carry dashes or upper-case letters; an absent
    // version reads "0".
    const QRegularExpression idPattern(QStringLiteral("^[0-9a-f]{32}$"));
    QSet<QString> ids;
    for (int i = 0; i < 50; ++i) {
        const QJsonObject other =
            parseReport(CrashEvent::create({}, {}, {}, ReportLevel::Error, {}).toJson());
        const QString id = other["event_id"].toString();
        QVERIFY2(idPattern.match(id).hasMatch(), qPrintable(id));
        ids.insert(id);
        QCOMPARE(other["release"].toString(), QStringLiteral("ivra@0"));
        QCOMPARE(other["level"].toString(), QStringLiteral("error"));
    }
    QCOMPARE(ids.size(), 50);
}

void CrashEventTest::textIsCutByUserPerceivedCharacters_data() {
    QTest::addColumn<QString>("unit"); // one user-perceived character
    QTest::newRow("ascii") << QStringLiteral("a");
    QTest::newRow("combining accent") << QStringLiteral("e\u0301");
    QTest::newRow("cyrillic") << QStringLiteral("ї");
    QTest::newRow("emoji with skin tone") << QStringLiteral("\U0001F44D\U0001F3FD");
    QTest::newRow("family sequence")
        << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
}

void CrashEventTest::textIsCutByUserPerceivedCharacters() {
    QFETCH(QString, unit);
    const CrashEvent event =
        CrashEvent::create(QStringLiteral("t"), unit.repeated(600),
                           {unit.repeated(300), unit.repeated(200), unit.repeated(3)},
                           ReportLevel::Error, QStringLiteral("1"));
    const QJsonObject document = parseReport(event.toJson());
    QCOMPARE(exceptionOf(document)["value"].toString(), unit.repeated(500));
    QCOMPARE(functionsOf(document),
             QStringList({unit.repeated(200), unit.repeated(200), unit.repeated(3)}));
    // The cut never touches shorter texts.
    QCOMPARE(diagnostics::leadingCharacters(unit.repeated(2), 500), unit.repeated(2));
    QCOMPARE(diagnostics::leadingCharacters(QString(), 5), QString());
}

void CrashEventTest::keepsTheLastFortyFramesInOrder_data() {
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("firstKept");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("short") << 3 << 1;
    QTest::newRow("exactly forty") << 40 << 1;
    QTest::newRow("forty-one") << 41 << 2;
    QTest::newRow("fifty-five") << 55 << 16;
}

void CrashEventTest::keepsTheLastFortyFramesInOrder() {
    QFETCH(int, lineCount);
    QFETCH(int, firstKept);
    QStringList lines;
    for (int i = 1; i <= lineCount; ++i) {
        lines.append(QStringLiteral("frame %1").arg(i));
    }
    QStringList expected;
    for (int i = firstKept; i <= lineCount; ++i) {
        expected.append(QStringLiteral("frame %1").arg(i));
    }
    const CrashEvent event =
        CrashEvent::create(QStringLiteral("t"), QStringLiteral("v"), lines, ReportLevel::Error, {});
    QCOMPARE(functionsOf(parseReport(event.toJson())), expected);
}

void CrashEventTest::signalSafeStringsAreValidJson_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxCharacters");
    QTest::addColumn<QString>("expected");
    const QString replacement(QChar(0xFFFD));

    QTest::newRow("plain") << QByteArray("./ivra(main+0x1d) [0x55d0]") << 200
                           << QStringLiteral("./ivra(main+0x1d) [0x55d0]");
    QTest::newRow("json specials") << QByteArray("a\"b\\c\nd\te\x01"
                                                 "f\x1f\x7f")
                                   << 200
                                   << QStringLiteral("a\"b\\c\nd\te\x01"
                                                     "f\x1f\x7f");
    QTest::newRow("utf-8 passes") << QStringLiteral("/home/олена/🦀/ivra").toUtf8() << 200
                                  << QStringLiteral("/home/олена/🦀/ivra");
    QTest::newRow("cut by characters, not bytes")
        << QStringLiteral("ї").repeated(300).toUtf8() << 200 << QStringLiteral("ї").repeated(200);
    QTest::newRow("cut before a four-byte character")
        << QStringLiteral("ab🦀").toUtf8() << 2 << QStringLiteral("ab");
    QTest::newRow("stray bytes") << QByteArray("a\xff"
                                               "b\x80"
                                               "c\xf5")
                                 << 200 << QStringLiteral("a%1b%1c%1").arg(replacement);
    QTest::newRow("overlong slash")
        << QByteArray("x\xc0\xafy") << 200 << QStringLiteral("x%1%1y").arg(replacement);
    QTest::newRow("surrogate") << QByteArray("x\xed\xa0\x80y") << 200
                               << QStringLiteral("x%1%1%1y").arg(replacement);
    QTest::newRow("above U+10FFFF")
        << QByteArray("x\xf4\x90\x80\x80") << 200 << QStringLiteral("x%1%1%1%1").arg(replacement);
    QTest::newRow("sequence cut at the end")
        << QByteArray("x\xe2\x82") << 200 << QStringLiteral("x%1%1").arg(replacement);
    QTest::newRow("empty") << QByteArray() << 200 << QString();
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

void CrashEventTest::signalSafeNumbersAndLongOutput() {
    const QByteArray out = writtenBy([](diagnostics::SignalSafeJsonWriter& writer) {
        writer.number(1717171717);
        writer.raw(".");
        writer.number(42, 6);
        writer.raw(" ");
        writer.number(0);
        writer.raw(" ");
        writer.number(UINT64_MAX);
        writer.raw(" ");
        writer.hex(0);
        writer.raw(" ");
        writer.hex(0xdeadbeef);
    });
    QCOMPARE(out, QByteArray("1717171717.000042 0 18446744073709551615 0x0 0xdeadbeef"));

    // More than the writer's buffer holds goes out whole.
    const QByteArray longOutput = writtenBy([](diagnostics::SignalSafeJsonWriter& writer) {
        for (int i = 0; i < 1000; ++i) {
            writer.raw("0123456789");
        }
    });
    QCOMPARE(longOutput, QByteArray("0123456789").repeated(1000));
}

void CrashEventTest::linesAreReadWithoutAllocation() {
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    // A line longer than the reader's chunk, an empty line, and a last line without newline.
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
