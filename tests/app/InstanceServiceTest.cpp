#include <future>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTest>

#include "PrivateSessionBus.h"
#include "app/CommandLine.h"
#include "platform/dbus/InstanceClient.h"
#include "platform/dbus/InstanceService.h"

using namespace ivra;
using platform::InstanceClient;
using platform::InstanceService;

Q_DECLARE_METATYPE(InstanceClient::Outcome)

// The service and the client of one running Ivra, talking over a real session bus.
class InstanceServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void requestsArriveAsTheirCommandLine_data();
    void requestsArriveAsTheirCommandLine();
    void whatCannotBeDoneComesBackToTheCaller_data();
    void whatCannotBeDoneComesBackToTheCaller();
    void requestsDuringStartUpWaitForIt();
    void withoutARunningIvraTheCallerStartsItself();

private:
    // Forwards from another thread, as a second process would, while this one answers.
    InstanceClient::Result forward(const QStringList& arguments, const QString& folder,
                                   int timeoutMs = 5000) {
        auto result = std::async(std::launch::async, [=] {
            return InstanceClient::forwardCommandLine(arguments, folder, timeoutMs);
        });
        [&] {
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
                },
                timeoutMs + 5000));
        }();
        return result.get();
    }
    void startService() {
        m_service = std::make_unique<InstanceService>();
        QCOMPARE(m_service->claim(), InstanceService::Claim::Claimed);
        m_service->startHandling([this](const LaunchOptions& options) {
            m_received.append(options);
            return m_refusal;
        });
    }

    test::PrivateSessionBus m_bus;
    std::unique_ptr<InstanceService> m_service;
    QList<LaunchOptions> m_received;
    std::optional<QString> m_refusal;
};

void InstanceServiceTest::initTestCase() {
    QVERIFY(m_bus.start());
}

void InstanceServiceTest::init() {
    m_received.clear();
    m_refusal.reset();
}

void InstanceServiceTest::cleanup() {
    m_service.reset();
}

void InstanceServiceTest::requestsArriveAsTheirCommandLine_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QStringList>("commandLine"); // what it means
    QTest::newRow("area") << "CaptureArea" << QVariantList() << QStringList{"--area"};
    QTest::newRow("window") << "CaptureWindow" << QVariantList() << QStringList{"--window"};
    QTest::newRow("full screen") << "CaptureFullScreen" << QVariantList()
                                 << QStringList{"--full-screen"};
    QTest::newRow("text") << "CaptureText" << QVariantList() << QStringList{"--ocr"};
    QTest::newRow("settings") << "OpenSettings" << QVariantList() << QStringList{"--open-settings"};
    QTest::newRow("recording") << "OpenRecordingSetup" << QVariantList()
                               << QStringList{"--open-recording-setup"};
    QTest::newRow("edit") << "Edit" << QVariantList{"/tmp/a b.png"}
                          << QStringList{"--edit", "/tmp/a b.png"};
    // A relative name is the caller's: it is resolved in the caller's folder.
    QTest::newRow("command line") << "HandleCommandLine"
                                  << QVariantList{QStringList{"--window", "--edit",
                                                              "../shots/a.png"},
                                                  "/home/u/work"}
                                  << QStringList{"--window", "--edit", "/home/u/shots/a.png"};
    QTest::newRow("plain command line")
        << "HandleCommandLine" << QVariantList{QStringList(), "/"} << QStringList();
}

void InstanceServiceTest::requestsArriveAsTheirCommandLine() {
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QStringList, commandLine);
    startService();
    // As `gdbus call` or a desktop shortcut would send it, from another connection.
    QDBusConnection caller = QDBusConnection::connectToBus(m_bus.address(), "caller");
    QDBusMessage message = QDBusMessage::createMethodCall("org.vantrel.Ivra", "/org/vantrel/Ivra",
                                                          "org.vantrel.Ivra", method);
    message.setArguments(arguments);
    QDBusPendingCall call = caller.asyncCall(message);
    QTRY_VERIFY(call.isFinished());
    QVERIFY2(!call.isError(), qPrintable(call.error().message()));

    QCOMPARE(m_received.size(), 1);
    const LaunchOptions expected = parseCommandLine(commandLine);
    const LaunchOptions& got = m_received.first();
    QCOMPARE(got.capture, expected.capture);
    QCOMPARE(got.editFile, expected.editFile);
    QCOMPARE(got.openSettings, expected.openSettings);
    QCOMPARE(got.openRecordingSetup, expected.openRecordingSetup);
    QDBusConnection::disconnectFromBus("caller");
}

void InstanceServiceTest::whatCannotBeDoneComesBackToTheCaller_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<std::optional<QString>>("refusal");
    QTest::addColumn<InstanceClient::Outcome>("outcome");
    QTest::addColumn<QString>("message"); // a part of it
    QTest::newRow("taken") << QStringList{"--edit", "shot.png"} << "/srv"
                           << std::optional<QString>() << InstanceClient::Outcome::Delivered << "";
    QTest::newRow("refused") << QStringList{"--edit", "shot.png"} << "/srv"
                             << std::optional<QString>("cannot read \"/srv/shot.png\"")
                             << InstanceClient::Outcome::Refused << "cannot read \"/srv/shot.png\"";
    QTest::newRow("no folder for a relative name")
        << QStringList{"--edit", "shot.png"} << "" << std::optional<QString>()
        << InstanceClient::Outcome::Failed << "shot.png";
}

void InstanceServiceTest::whatCannotBeDoneComesBackToTheCaller() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, folder);
    QFETCH(std::optional<QString>, refusal);
    QFETCH(InstanceClient::Outcome, outcome);
    QFETCH(QString, message);
    startService();
    m_refusal = refusal;
    const InstanceClient::Result result = forward(arguments, folder);
    QCOMPARE(result.outcome, outcome);
    QVERIFY2(result.message.contains(message), qPrintable(result.message));
    // A malformed request never reaches the application.
    QCOMPARE(m_received.size(), outcome == InstanceClient::Outcome::Failed ? 0 : 1);
}

void InstanceServiceTest::requestsDuringStartUpWaitForIt() {
    InstanceService service;
    QCOMPARE(service.claim(), InstanceService::Claim::Claimed);
    auto pending = std::async(std::launch::async, [] {
        return InstanceClient::forwardCommandLine({"--area"}, "/", 10000);
    });
    QTest::qWait(300);
    QCOMPARE(pending.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

    service.startHandling([this](const LaunchOptions& options) {
        m_received.append(options);
        return std::nullopt;
    });
    QVERIFY(QTest::qWaitFor(
        [&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    QCOMPARE(pending.get().outcome, InstanceClient::Outcome::Delivered);
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(m_received.first().capture, std::optional<CaptureAction>(CaptureAction::Area));
}

void InstanceServiceTest::withoutARunningIvraTheCallerStartsItself() {
    QCOMPARE(forward({}, "/").outcome, InstanceClient::Outcome::NoInstance);

    // Without a session bus nobody is asked, and no bus is started for the purpose.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    const InstanceClient::Result result = forward({"--area"}, "/");
    InstanceService service;
    const InstanceService::Claim claim = service.claim();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QCOMPARE(result.outcome, InstanceClient::Outcome::NoSessionBus);
    QCOMPARE(claim, InstanceService::Claim::Unavailable);

    // Another process owns the name: this one cannot become the running Ivra.
    QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), "other");
    QVERIFY(other.registerService("org.vantrel.Ivra"));
    InstanceService late;
    QCOMPARE(late.claim(), InstanceService::Claim::HeldElsewhere);
    QDBusConnection::disconnectFromBus("other");
}

QTEST_GUILESS_MAIN(InstanceServiceTest)
#include "InstanceServiceTest.moc"
