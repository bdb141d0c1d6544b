#include <csignal>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "CrashReportJson.h"
#include "IvraConfig.h"
#include "LocalHttpServer.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/CrashUpload.h"
#include "support/TestSupport.h"

using namespace ivra;
using test::exceptionOf;
using test::functionsOf;
using test::LocalHttpServer;
using test::parseReport;

namespace {

const QString kPublicKey = QStringLiteral("7f3b9e21c4d86a05e19b2c7d40f8a613");

qsizetype indexContaining(const QStringList& lines, const QString& part) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(part)) {
            return i;
        }
    }
    return -1;
}

// Lets queued network and server events run, so that "nothing arrived" means something.
void settle() {
    QTest::qWait(150);
}

struct ChildResult {
    bool crashed = false;
    int exitCodeOrSignal = -1;
};

} // namespace

class CrashReporterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void firstStartCreatesTheFolderAndSendsNothing();
    void cleanQuitThenStartReportsNothing();
    void waitingReportIsSentThenLeftoverSessionBecomesANewOne();
    void uploadCarriesPathHeadersAndBodyUnchanged_data();
    void uploadCarriesPathHeadersAndBodyUnchanged();
    void withoutEndpointTheReportIsDroppedUnsent();
    void onlySafeEndpointsAndKeysAreUsed_data();
    void onlySafeEndpointsAndKeysAreUsed();
    void stalledUploadDoesNotHoldTheEventLoop();

    void killedRunIsReportedAtTheNextStarts();
    void nullPointerCrashIsReportedWithItsFrames();
    void stackOverflowIsReported();
    void uncaughtExceptionIsReported_data();
    void uncaughtExceptionIsReported();

private:
    CrashReporter reporter(const QString& endpoint, const QString& version = QStringLiteral("3.1"));
    ChildResult runChild(const QString& mode);
    // The helper's crash folder, seen through a reporter that is only used for its paths.
    CrashReporter childFiles() const;

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<LocalHttpServer> m_server;
};

void CrashReporterTest::init() {
    m_root = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_root->isValid());
    QVERIFY(m_server->listen());
}

CrashReporter CrashReporterTest::reporter(const QString& endpoint, const QString& version) {
    return CrashReporter({
        .directory = m_root->filePath(QStringLiteral("data/Vantrel/crash")),
        .version = version,
        .endpoint = endpoint,
        .publicKey = kPublicKey,
    });
}

CrashReporter CrashReporterTest::childFiles() const {
    return CrashReporter(
        {m_root->filePath(QStringLiteral("child-data/Vantrel/crash")), {}, {}, {}});
}

// Runs the helper through the application's start-up; the test's event loop keeps serving
// the local endpoint meanwhile.
ChildResult CrashReporterTest::runChild(const QString& mode) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"),
                       m_root->filePath(QStringLiteral("child-data")));
    environment.insert(QStringLiteral("IVRA_CRASH_ENDPOINT"), m_server->baseUrl());
    environment.insert(QStringLiteral("IVRA_CRASH_PUBLIC_KEY"), kPublicKey);
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(m_root->path());
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);

    bool finished = false;
    connect(&child, &QProcess::finished, this, [&finished] { finished = true; });
    child.start(QStringLiteral(IVRA_CRASH_CHILD), {mode});
    if (mode == QLatin1String("hang")) {
        // Killed once it is running, as a power cut or `kill -9` would.
        if (!QTest::qWaitFor([&] { return child.canReadLine(); }, 20000)) {
            return {};
        }
        child.kill();
    }
    if (!QTest::qWaitFor([&] { return finished; }, 30000)) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    return {child.exitStatus() == QProcess::CrashExit, child.exitCode()};
}

void CrashReporterTest::firstStartCreatesTheFolderAndSendsNothing() {
    const CrashReporter crash = reporter(m_server->baseUrl());
    QVERIFY(!QDir(crash.config().directory).exists());
    crash.flushPending();
    crash.detectHardCrash();
    QVERIFY(crash.arm());

    QVERIFY(QDir(crash.config().directory).exists());
    QCOMPARE(test::readFile(crash.sessionPath()), QByteArray("3.1"));
    QVERIFY(!QFile::exists(crash.pendingPath()));
    settle();
    QCOMPARE(m_server->connectionCount(), 0);
}

void CrashReporterTest::cleanQuitThenStartReportsNothing() {
    const CrashReporter crash = reporter(m_server->baseUrl());
    crash.arm();
    crash.markCleanExit();
    QVERIFY(!QFile::exists(crash.sessionPath()));

    crash.flushPending();
    crash.detectHardCrash();
    crash.arm();
    QVERIFY(!QFile::exists(crash.pendingPath()));
    QVERIFY(QFile::exists(crash.sessionPath()));
    settle();
    QCOMPARE(m_server->connectionCount(), 0);
}

void CrashReporterTest::waitingReportIsSentThenLeftoverSessionBecomesANewOne() {
    const CrashReporter crash = reporter(m_server->baseUrl());
    QVERIFY(crash.writeReport(QStringLiteral("SIGSEGV"), QStringLiteral("earlier"), {},
                              ReportLevel::Error));
    const QByteArray earlier = test::readFile(crash.pendingPath());
    QVERIFY(test::writeFile(crash.sessionPath(), "3.1"));

    crash.flushPending();
    QVERIFY(!QFile::exists(crash.pendingPath()));
    crash.detectHardCrash();
    QVERIFY(!QFile::exists(crash.sessionPath()));

    QTRY_COMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().body, earlier);

    const QJsonObject hardCrash = parseReport(test::readFile(crash.pendingPath()));
    QCOMPARE(hardCrash["level"].toString(), QStringLiteral("fatal"));
    QCOMPARE(exceptionOf(hardCrash)["type"].toString(), QStringLiteral("HardCrash"));
    QCOMPARE(exceptionOf(hardCrash)["value"].toString(),
             QStringLiteral("App terminated unexpectedly (no clean exit)"));
    QVERIFY(exceptionOf(hardCrash)["stacktrace"].toObject()["frames"].toArray().isEmpty());
    QVERIFY(hardCrash["event_id"] != parseReport(earlier)["event_id"]);

    // A waiting report is never overwritten by a hard crash.
    const QByteArray waiting = test::readFile(crash.pendingPath());
    QVERIFY(test::writeFile(crash.sessionPath(), "3.1"));
    crash.detectHardCrash();
    QCOMPARE(test::readFile(crash.pendingPath()), waiting);
    QVERIFY(!QFile::exists(crash.sessionPath()));
}

void CrashReporterTest::uploadCarriesPathHeadersAndBodyUnchanged_data() {
    QTest::addColumn<QString>("endpointSuffix");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("expectedPath");
    QTest::addColumn<QString>("expectedClient");
    QTest::newRow("versioned") << QString() << QStringLiteral("2.5.1")
                               << QByteArray("/api/4/store/") << QStringLiteral("ivra/2.5.1");
    QTest::newRow("no version") << QStringLiteral("/") << QString() << QByteArray("/api/4/store/")
                                << QStringLiteral("ivra/0");
    QTest::newRow("behind a path")
        << QStringLiteral("/collector/?x=1") << QStringLiteral("1")
        << QByteArray("/collector/api/4/store/") << QStringLiteral("ivra/1");
}

void CrashReporterTest::uploadCarriesPathHeadersAndBodyUnchanged() {
    QFETCH(QString, endpointSuffix);
    QFETCH(QString, version);
    QFETCH(QByteArray, expectedPath);
    QFETCH(QString, expectedClient);
    const CrashReporter crash = reporter(m_server->baseUrl() + endpointSuffix, version);
    QDir().mkpath(crash.config().directory);
    // Whatever the file holds goes out byte for byte, even when it is not ours.
    const QByteArray body = QByteArray("{\"event_id\":\"x\",\"odd\":\"\xc3\xa9\r\n\"}\x00tail", 34);
    QVERIFY(test::writeFile(crash.pendingPath(), body));

    crash.flushPending();
    QTRY_COMPARE(m_server->requests().size(), 1);
    const LocalHttpServer::Request& request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, expectedPath);
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(QString::fromUtf8(request.headers.value("x-sentry-auth")),
             QStringLiteral("Sentry sentry_version=7, sentry_key=%1, sentry_client=%2")
                 .arg(kPublicKey, expectedClient));
    QVERIFY(!request.headers.contains("cookie"));
    QVERIFY(!request.headers.contains("authorization"));
    QCOMPARE(request.body, body);
    QVERIFY(!QFile::exists(crash.pendingPath()));

    // Delivered at most once.
    crash.flushPending();
    settle();
    QCOMPARE(m_server->requests().size(), 1);
}

void CrashReporterTest::withoutEndpointTheReportIsDroppedUnsent() {
    const CrashReporter crash = reporter(QString());
    QVERIFY(crash.writeReport(QStringLiteral("t"), QStringLiteral("v"), {}, ReportLevel::Error));
    crash.flushPending();
    QVERIFY(!QFile::exists(crash.pendingPath()));
    settle();
    QCOMPARE(m_server->connectionCount(), 0);
}

void CrashReporterTest::onlySafeEndpointsAndKeysAreUsed_data() {
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expectedUrl"); // empty: nothing may be sent

    QTest::newRow("https") << "https://crash.example.org" << kPublicKey
                           << "https://crash.example.org/api/4/store/";
    QTest::newRow("https with port and path")
        << "https://crash.example.org:8443/relay/" << kPublicKey
        << "https://crash.example.org:8443/relay/api/4/store/";
    QTest::newRow("plain http to loopback")
        << "http://127.0.0.1:9000" << kPublicKey << "http://127.0.0.1:9000/api/4/store/";
    QTest::newRow("plain http to localhost")
        << "http://localhost:9000" << kPublicKey << "http://localhost:9000/api/4/store/";
    QTest::newRow("plain http elsewhere") << "http://crash.example.org" << kPublicKey << "";
    QTest::newRow("other scheme") << "ftp://127.0.0.1" << kPublicKey << "";
    QTest::newRow("not a URL") << "crash.example.org" << kPublicKey << "";
    QTest::newRow("upper-case key") << "https://crash.example.org" << kPublicKey.toUpper() << "";
    QTest::newRow("key smuggling a header")
        << "https://crash.example.org" << kPublicKey + "\r\nX-Evil: 1"
        << "";
}

void CrashReporterTest::onlySafeEndpointsAndKeysAreUsed() {
    QFETCH(QString, endpoint);
    QFETCH(QString, key);
    QFETCH(QString, expectedUrl);
    const auto request = diagnostics::crashUploadRequest({endpoint, key, QStringLiteral("1")});
    QCOMPARE(request.has_value(), !expectedUrl.isEmpty());
    if (request) {
        QCOMPARE(request->url().toString(), expectedUrl);
        QCOMPARE(request->transferTimeout(), 8000);
    }
}

void CrashReporterTest::stalledUploadDoesNotHoldTheEventLoop() {
    // An endpoint that takes the connection but never reads: the body cannot leave.
    QTcpServer stalled;
    QVERIFY(stalled.listen(QHostAddress::LocalHost, 0));
    stalled.pauseAccepting();
    const CrashReporter crash =
        reporter(QStringLiteral("http://127.0.0.1:%1").arg(stalled.serverPort()));
    QDir().mkpath(crash.config().directory);
    QVERIFY(test::writeFile(crash.pendingPath(), QByteArray(16 * 1024 * 1024, 'x')));

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    crash.flushPending();
    const qint64 elapsedMs = clock.elapsed();

    // Start-up goes on long before the upload's own time-out, and the event loop ran
    // throughout the wait.
    QVERIFY2(elapsedMs < 2000, qPrintable(QString::number(elapsedMs)));
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(!QFile::exists(crash.pendingPath()));
}

void CrashReporterTest::killedRunIsReportedAtTheNextStarts() {
    const CrashReporter crash = childFiles();

    const ChildResult killed = runChild(QStringLiteral("hang"));
    QVERIFY(killed.crashed);
    QCOMPARE(test::readFile(crash.sessionPath()), QByteArray(IVRA_VERSION));
    QVERIFY(!QFile::exists(crash.pendingPath()));

    // The next start finds the marker and leaves a report for the start after it.
    const ChildResult second = runChild(QStringLiteral("quit"));
    QVERIFY(!second.crashed && second.exitCodeOrSignal == 0);
    const QByteArray report = test::readFile(crash.pendingPath());
    const QJsonObject event = parseReport(report);
    QCOMPARE(event["level"].toString(), QStringLiteral("fatal"));
    QCOMPARE(event["release"].toString(), QStringLiteral("ivra@" IVRA_VERSION));
    QCOMPARE(exceptionOf(event)["type"].toString(), QStringLiteral("HardCrash"));
    QCOMPARE(exceptionOf(event)["value"].toString(),
             QStringLiteral("App terminated unexpectedly (no clean exit)"));
    QVERIFY(report.contains(R"("frames":[])"));
    QVERIFY(!QFile::exists(crash.sessionPath()));
    settle();
    QCOMPARE(m_server->connectionCount(), 0);

    const ChildResult third = runChild(QStringLiteral("quit"));
    QVERIFY(!third.crashed);
    QTRY_COMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().body, report);
    QCOMPARE(m_server->requests().first().headers.value("x-sentry-auth"),
             "Sentry sentry_version=7, sentry_key=" + kPublicKey.toLatin1() +
                 ", sentry_client=ivra/" IVRA_VERSION);
    QVERIFY(!QFile::exists(crash.pendingPath()));
    QVERIFY(!QFile::exists(crash.sessionPath()));
}

void CrashReporterTest::nullPointerCrashIsReportedWithItsFrames() {
    const CrashReporter crash = childFiles();
    const ChildResult crashed = runChild(QStringLiteral("null"));
    // The process still dies of the signal itself.
    QVERIFY(crashed.crashed);
    QCOMPARE(crashed.exitCodeOrSignal, SIGSEGV);
    QVERIFY(QFile::exists(crash.sessionPath()));
    QCOMPARE(QDir(crash.config().directory).entryList(QDir::Files | QDir::Hidden),
             QStringList({"pending.json", "session.open"}));

    const QByteArray report = test::readFile(crash.pendingPath());
    QJsonParseError error{};
    const QJsonObject event = QJsonDocument::fromJson(report, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, report.constData());
    QCOMPARE(event.keys().size(), 6);
    QCOMPARE(event["level"].toString(), QStringLiteral("error"));
    QCOMPARE(event["platform"].toString(), QStringLiteral("cocoa"));
    QCOMPARE(event["release"].toString(), QStringLiteral("ivra@" IVRA_VERSION));
    QCOMPARE(event["event_id"].toString().size(), 32);
    QVERIFY(qAbs(event["timestamp"].toDouble() - QDateTime::currentSecsSinceEpoch()) < 60);
    QCOMPARE(exceptionOf(event)["type"].toString(), QStringLiteral("SIGSEGV"));
    QCOMPARE(exceptionOf(event)["value"].toString(),
             QStringLiteral("Segmentation fault at address 0x0"));

    // Caller first, the faulting function last, none of the handler's own frames.
    const QStringList frames = functionsOf(event);
    QVERIFY(!frames.isEmpty() && frames.size() <= 40);
    QVERIFY2(frames.last().contains(QStringLiteral("crashThroughNullPointer")),
             qPrintable(frames.join('\n')));
    QVERIFY(indexContaining(frames, QStringLiteral("(main+")) >= 0);
    QVERIFY(indexContaining(frames, QStringLiteral("Signal")) < 0);

    // Next start: the crash goes out, and the run's missing clean exit becomes a report for
    // the start after that.
    runChild(QStringLiteral("quit"));
    QTRY_COMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().body, report);
    QCOMPARE(exceptionOf(parseReport(test::readFile(crash.pendingPath())))["type"].toString(),
             QStringLiteral("HardCrash"));
    runChild(QStringLiteral("quit"));
    QTRY_COMPARE(m_server->requests().size(), 2);
    QCOMPARE(exceptionOf(parseReport(m_server->requests().last().body))["type"].toString(),
             QStringLiteral("HardCrash"));
}

// Also shows that a deep stack keeps the 40 frames nearest the fault.
void CrashReporterTest::stackOverflowIsReported() {
    const CrashReporter crash = childFiles();
    const ChildResult crashed = runChild(QStringLiteral("overflow"));
    QVERIFY(crashed.crashed);
    QCOMPARE(crashed.exitCodeOrSignal, SIGSEGV);
    const QJsonObject event = parseReport(test::readFile(crash.pendingPath()));
    QCOMPARE(exceptionOf(event)["type"].toString(), QStringLiteral("SIGSEGV"));
    const QStringList frames = functionsOf(event);
    QCOMPARE(frames.size(), 40);
    QVERIFY(frames.last().contains(QStringLiteral("overflowTheStack")));
}

void CrashReporterTest::uncaughtExceptionIsReported_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("main thread") << QStringLiteral("throw");
    QTest::newRow("other thread") << QStringLiteral("thread-throw");
}

void CrashReporterTest::uncaughtExceptionIsReported() {
    QFETCH(QString, mode);
    const CrashReporter crash = childFiles();
    const ChildResult crashed = runChild(mode);
    QVERIFY(crashed.crashed);
    QCOMPARE(crashed.exitCodeOrSignal, SIGABRT);
    // No clean exit was marked.
    QVERIFY(QFile::exists(crash.sessionPath()));

    const QJsonObject event = parseReport(test::readFile(crash.pendingPath()));
    QCOMPARE(event["level"].toString(), QStringLiteral("error"));
    QCOMPARE(exceptionOf(event)["type"].toString(), QStringLiteral("std::runtime_error"));
    QCOMPARE(exceptionOf(event)["value"].toString(),
             QStringLiteral("disk on fire: \"/tmp\" is read-only"));
    const QStringList frames = functionsOf(event);
    const qsizetype thrower = indexContaining(frames, QStringLiteral("throwUncaught"));
    QVERIFY2(thrower >= 0, qPrintable(frames.join('\n')));
    QVERIFY2(frames.size() - thrower <= 5, qPrintable(frames.join('\n')));
    QCOMPARE(indexContaining(frames, QStringLiteral("onTerminate")), -1);
}

QTEST_GUILESS_MAIN(CrashReporterTest)
#include "CrashReporterTest.moc"
