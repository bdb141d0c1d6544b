#include <csignal>

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "CrashTestSupport.h"
#include "IvraConfig.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/CrashUpload.h"
#include "support/TestSupport.h"

using namespace ivra;
using test::exceptionOf;
using test::parseReport;

namespace {

const QString kPublicKey = QStringLiteral("7f3b9e21c4d86a05e19b2c7d40f8a613");

QByteArray authHeader(const QString& client) {
    return "\r\nX-Sentry-Auth: Sentry sentry_version=7, sentry_key=" + kPublicKey.toLatin1() +
           ", sentry_client=ivra/" + client.toUtf8() + "\r\n";
}

} // namespace

class CrashReporterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void uploadCarriesPathHeadersAndBodyUnchanged();
    void onlySafeEndpointsAndKeysAreUsed_data();
    void onlySafeEndpointsAndKeysAreUsed();
    void stalledUploadDoesNotHoldTheEventLoop();

    void killedRunIsReportedAtTheNextStarts();
    void aSecondCopyLeavesTheRunningOnesMarkerAlone();
    void onlyAMarkerOfARunningProcessIsNoCrash_data();
    void onlyAMarkerOfARunningProcessIsNoCrash();
    void fatalEndIsReportedWithItsFrames_data();
    void fatalEndIsReportedWithItsFrames();

private:
    CrashReporter reporter(const QString& endpoint) {
        return CrashReporter(
            {m_root->filePath("data/Vantrel/crash"), "2.5.1", endpoint, kPublicKey});
    }
    // Runs the helper through the application's start-up and end while this event loop
    // serves the endpoint: whether it died of a signal, and the signal or exit code.
    std::pair<bool, int> runChild(const QString& mode);
    // Connections made to the endpoint so far, counted once the server has surely taken
    // them: a connection of our own made now is taken after every earlier one, so once its
    // bytes are in, the count is final. -1 when even that never arrives.
    int connectionsAfterSettling() {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_server->port());
        probe.write("PROBE\r\n");
        if (!QTest::qWaitFor([&] { return m_server->received("PROBE\r\n"); }, 10000)) {
            return -1;
        }
        return m_server->connectionCount() - 1;
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<test::LocalHttpServer> m_server;
    // The helper's reporter, as the helper sees it; used here for its paths.
    std::unique_ptr<CrashReporter> m_child;
};

void CrashReporterTest::init() {
    m_root = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<test::LocalHttpServer>();
    QVERIFY(m_root->isValid() && m_server->listen());
    // What the helper inherits: its data folder and where its reports go.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root->filePath("child-data")));
    qputenv("IVRA_CRASH_ENDPOINT", m_server->baseUrl().toUtf8());
    qputenv("IVRA_CRASH_PUBLIC_KEY", kPublicKey.toUtf8());
    m_child = std::make_unique<CrashReporter>(CrashReporter::forApplication());
}

std::pair<bool, int> CrashReporterTest::runChild(const QString& mode) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(IVRA_CRASH_CHILD), {mode});
    // "hang" is killed once it runs, as a power cut or `kill -9` would end it.
    if (mode == QLatin1String("hang") &&
        QTest::qWaitFor([&] { return child.canReadLine(); }, 20000)) {
        child.kill();
    }
    if (!QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 30000)) {
        child.kill();
        child.waitForFinished();
        return {false, -1};
    }
    return {child.exitStatus() == QProcess::CrashExit, child.exitCode()};
}

void CrashReporterTest::uploadCarriesPathHeadersAndBodyUnchanged() {
    const CrashReporter crash = reporter(m_server->baseUrl() + "/collector/?x=1");
    QDir().mkpath(crash.config().directory);
    // Whatever the file holds goes out byte for byte, even when it is not ours.
    const QByteArray body = QByteArray("{\"event_id\":\"x\",\"odd\":\"\xc3\xa9\r\n\"}\x00tail", 34);
    QVERIFY(test::writeFile(crash.pendingPath(), body));
    // A run that ended without a clean exit never replaces a waiting report.
    QVERIFY(test::writeFile(crash.sessionPath(), "2.5.1"));
    crash.detectHardCrash();
    QVERIFY(!QFile::exists(crash.sessionPath()));

    crash.flushPending();
    QTRY_COMPARE(m_server->requests().size(), 1);
    const test::LocalHttpServer::Request request = m_server->requests().first();
    QVERIFY2(request.head.startsWith("POST /collector/api/4/store/ HTTP/1.1\r\n"),
             request.head.constData());
    QVERIFY(request.head.contains("\r\nContent-Type: application/json\r\n"));
    QVERIFY2(request.head.contains(authHeader("2.5.1")), request.head.constData());
    QVERIFY(!request.head.toLower().contains("\ncookie:") &&
            !request.head.toLower().contains("\nauthorization:"));
    QCOMPARE(request.body, body);
    QVERIFY(!QFile::exists(crash.pendingPath()));

    // Delivered at most once; without an endpoint a report is dropped unsent.
    crash.flushPending();
    QVERIFY(test::writeFile(crash.pendingPath(), body));
    reporter(QString()).flushPending();
    QVERIFY(!QFile::exists(crash.pendingPath()));
    QCOMPARE(connectionsAfterSettling(), 1);
}

void CrashReporterTest::onlySafeEndpointsAndKeysAreUsed_data() {
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expectedUrl"); // empty: nothing may be sent
    QTest::newRow("https with port and path")
        << "https://crash.example.org:8443/relay/" << kPublicKey
        << "https://crash.example.org:8443/relay/api/4/store/";
    QTest::newRow("plain http to loopback")
        << "http://127.0.0.1:9000" << kPublicKey << "http://127.0.0.1:9000/api/4/store/";
    QTest::newRow("plain http to localhost")
        << "http://localhost:9000" << kPublicKey << "http://localhost:9000/api/4/store/";
    QTest::newRow("plain http elsewhere") << "http://crash.example.org" << kPublicKey << "";
    QTest::newRow("other scheme") << "ftp://127.0.0.1" << kPublicKey << "";
    for (const QString& key : {kPublicKey.toUpper(), kPublicKey + "\r\nX-Evil: 1"}) {
        QTest::newRow(qPrintable("key " + key)) << "https://crash.example.org" << key << "";
    }
}

void CrashReporterTest::onlySafeEndpointsAndKeysAreUsed() {
    QFETCH(QString, endpoint);
    QFETCH(QString, key);
    QFETCH(QString, expectedUrl);
    const auto request = diagnostics::crashUploadRequest({endpoint, key, QStringLiteral("1")});
    QCOMPARE(request ? request->url().toString() : QString(), expectedUrl);
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
    // Start-up goes on long before the upload's own time-out, and the event loop ran
    // throughout the wait.
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(!QFile::exists(crash.pendingPath()));
}

void CrashReporterTest::killedRunIsReportedAtTheNextStarts() {
    QCOMPARE(runChild(QStringLiteral("hang")).first, true);
    QVERIFY(test::readFile(m_child->sessionPath()).startsWith("version=" IVRA_VERSION "\n"));
    QVERIFY(!QFile::exists(m_child->pendingPath()));

    // The next start finds the marker and leaves a report for the start after it.
    QCOMPARE(runChild(QStringLiteral("quit")), std::make_pair(false, 0));
    const QByteArray report = test::readFile(m_child->pendingPath());
    const QJsonObject event = parseReport(report);
    QCOMPARE(event["level"].toString(), QStringLiteral("fatal"));
    QCOMPARE(event["release"].toString(), QStringLiteral("ivra@" IVRA_VERSION));
    QCOMPARE(exceptionOf(event)["type"].toString(), QStringLiteral("HardCrash"));
    QCOMPARE(exceptionOf(event)["value"].toString(),
             QStringLiteral("App terminated unexpectedly (no clean exit)"));
    QVERIFY(report.contains(R"("frames":[])"));
    QVERIFY(!QFile::exists(m_child->sessionPath()));
    QCOMPARE(connectionsAfterSettling(), 0);
}

void CrashReporterTest::aSecondCopyLeavesTheRunningOnesMarkerAlone() {
    QProcess first;
    first.start(QStringLiteral(IVRA_CRASH_CHILD), {QStringLiteral("hang")});
    QVERIFY(QTest::qWaitFor([&] { return first.canReadLine(); }, 20000));
    const QByteArray firstPid = "\npid=" + QByteArray::number(first.processId()) + '\n';
    const QByteArray marker = test::readFile(m_child->sessionPath());
    QVERIFY2(marker.contains(firstPid + "started="), marker.constData());

    // A second copy starts and quits while the first runs: it reports no crash, and neither
    // its start nor its clean exit takes the first one's marker.
    QCOMPARE(runChild(QStringLiteral("quit")), std::make_pair(false, 0));
    QVERIFY(!QFile::exists(m_child->pendingPath()));
    QCOMPARE(test::readFile(m_child->sessionPath()), marker);

    // The first one is killed later: the next start still reports it.
    first.kill();
    QVERIFY(first.waitForFinished());
    QCOMPARE(runChild(QStringLiteral("quit")), std::make_pair(false, 0));
    QCOMPARE(exceptionOf(parseReport(test::readFile(m_child->pendingPath())))["type"].toString(),
             QStringLiteral("HardCrash"));
    QVERIFY(!QFile::exists(m_child->sessionPath()));

    // Its process id given to another live process (this one) does not make it a running
    // copy: the start time tells them apart.
    QByteArray reused = marker;
    reused.replace(firstPid, "\npid=" + QByteArray::number(getpid()) + '\n');
    QVERIFY(reused != marker);
    QVERIFY(test::writeFile(m_child->sessionPath(), reused) &&
            QFile::remove(m_child->pendingPath()));
    m_child->detectHardCrash();
    QVERIFY(QFile::exists(m_child->pendingPath()));
}

void CrashReporterTest::onlyAMarkerOfARunningProcessIsNoCrash_data() {
    QTest::addColumn<QByteArray>("marker");
    const QByteArray self = "version=2.5.1\npid=" + QByteArray::number(getpid()) + '\n';
    QTest::newRow("earlier version") << QByteArray("2.5.1");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("damaged") << QByteArray("version=2.5.1\npid=12x\nstarted=77\n");
    QTest::newRow("no start time") << self;
    // A live process that was given the id of the crashed one.
    QTest::newRow("reused process id") << self + "started=1\n";
}

void CrashReporterTest::onlyAMarkerOfARunningProcessIsNoCrash() {
    QFETCH(QByteArray, marker);
    const CrashReporter crash = reporter(QString());
    QVERIFY(crash.arm());
    // This process's own marker: the process runs, so there is nothing to report, and it
    // is removed at the clean exit.
    crash.detectHardCrash();
    QVERIFY(QFile::exists(crash.sessionPath()) && !QFile::exists(crash.pendingPath()));
    crash.markCleanExit();
    QVERIFY(!QFile::exists(crash.sessionPath()));

    // A marker that names no running process is not this process's to remove, and is a
    // crash at the next start; it is then taken over.
    QVERIFY(test::writeFile(crash.sessionPath(), marker));
    crash.markCleanExit();
    QCOMPARE(test::readFile(crash.sessionPath()), marker);
    crash.detectHardCrash();
    QVERIFY(!QFile::exists(crash.sessionPath()));
    QCOMPARE(exceptionOf(parseReport(test::readFile(crash.pendingPath())))["type"].toString(),
             QStringLiteral("HardCrash"));
    QVERIFY(test::writeFile(crash.sessionPath(), marker));
    QVERIFY(crash.arm());
    QVERIFY(test::readFile(crash.sessionPath()) != marker);
}

void CrashReporterTest::fatalEndIsReportedWithItsFrames_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("value"); // a pattern
    QTest::addColumn<QString>("failingFunction");
    const QString thrown = QRegularExpression::escape("disk on fire: \"/tmp\" is read-only");
    QTest::newRow("null pointer") << "null"
                                  << "^Segmentation fault at address 0x0$"
                                  << "crashThroughNullPointer";
    // A deep stack keeps the 40 frames nearest the fault.
    QTest::newRow("stack overflow") << "overflow"
                                    << "^Segmentation fault at address 0x[0-9a-f]+$"
                                    << "overflowTheStack";
    QTest::newRow("exception") << "throw"
                               << "^" + thrown + "$"
                               << "throwUncaught";
    QTest::newRow("exception on another thread") << "thread-throw"
                                                 << "^" + thrown + "$"
                                                 << "throwUncaught";
}

void CrashReporterTest::fatalEndIsReportedWithItsFrames() {
    QFETCH(QString, mode);
    QFETCH(QString, value);
    QFETCH(QString, failingFunction);
    const bool thrown = mode.endsWith(QLatin1String("throw"));
    // The process still dies the way it would have, marks no clean exit and leaves no
    // partial report behind.
    QCOMPARE(runChild(mode), std::make_pair(true, thrown ? SIGABRT : SIGSEGV));
    QCOMPARE(QDir(m_child->config().directory).entryList(QDir::Files | QDir::Hidden),
             QStringList({"pending.json", "session.open"}));

    const QByteArray report = test::readFile(m_child->pendingPath());
    const QJsonObject event = parseReport(report);
    QVERIFY2(!event.isEmpty(), report.constData());
    QCOMPARE(event.keys().size(), 6);
    QCOMPARE(event["level"].toString(), QStringLiteral("error"));
    QCOMPARE(event["platform"].toString(), QStringLiteral("cocoa"));
    QCOMPARE(event["release"].toString(), QStringLiteral("ivra@" IVRA_VERSION));
    QCOMPARE(event["event_id"].toString().size(), 32);
    QVERIFY(qAbs(event["timestamp"].toDouble() - QDateTime::currentSecsSinceEpoch()) < 60);
    QCOMPARE(exceptionOf(event)["type"].toString(),
             QLatin1String(thrown ? "std::runtime_error" : "SIGSEGV"));
    QVERIFY2(QRegularExpression(value).match(exceptionOf(event)["value"].toString()).hasMatch(),
             qPrintable(exceptionOf(event)["value"].toString()));

    // Caller first, the failing function at the end, none of the handlers' own frames.
    const QStringList frames = test::functionsOf(event);
    const qsizetype failing = frames.lastIndexOf(QRegularExpression(".*" + failingFunction + ".*"));
    QVERIFY2(frames.size() - failing <= (thrown ? 5 : 1) && failing >= 0,
             qPrintable(frames.join('\n')));
    QVERIFY(mode == QLatin1String("overflow") ? frames.size() == 40 : frames.size() < 40);
    QVERIFY(frames.filter(QRegularExpression("Signal|onTerminate")).isEmpty());

    // Next start: the report goes out, and the missing clean exit becomes the next one.
    QCOMPARE(runChild(QStringLiteral("quit")), std::make_pair(false, 0));
    QTRY_COMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().body, report);
    QVERIFY(m_server->requests().first().head.contains(authHeader(IVRA_VERSION)));
    QCOMPARE(exceptionOf(parseReport(test::readFile(m_child->pendingPath())))["type"].toString(),
             QStringLiteral("HardCrash"));
}

QTEST_GUILESS_MAIN(CrashReporterTest)
#include "CrashReporterTest.moc"
