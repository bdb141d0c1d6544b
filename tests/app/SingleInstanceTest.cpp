#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "PrivateSessionBus.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

struct Finished {
    int exitCode = -1;
    QByteArray standardError;
};

QString crashDir() {
    return QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath(QStringLiteral("Vantrel/crash"));
}
QString sessionMarker() {
    return crashDir() + QStringLiteral("/session.open");
}
QString pendingReport() {
    return crashDir() + QStringLiteral("/pending.json");
}

QString reportType() {
    return QJsonDocument::fromJson(test::readFile(pendingReport()))
        .object()
        .value(QStringLiteral("exception"))
        .toObject()
        .value(QStringLiteral("values"))
        .toArray()
        .at(0)
        .toObject()
        .value(QStringLiteral("type"))
        .toString();
}

} // namespace

// The real binary, twice: the second `ivra` hands its request to the first and ends.
class SingleInstanceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void aSecondIvraHandsItsCaptureToTheRunningOne();
    void aPlainSecondIvraLeavesNoCrashReportAndAKillIsStillReported();
    void anUnreadableFileIsRefusedAndTheRunningIvraGoesOn();
    void twoStartedAtOnceLeaveOneRunning();

private:
    bool ownsTheName() const {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QStringLiteral("org.vantrel.Ivra"));
    }
    // Starts ivra and waits until it owns the name and has run its start-up.
    void startFirst() {
        m_first.setProcessChannelMode(QProcess::ForwardedChannels);
        m_first.start(QStringLiteral(IVRA_BINARY), {});
        QVERIFY(m_first.waitForStarted());
        // This very process's marker: a killed one's may still lie there until start-up has
        // turned it into a report.
        const QByteArray ownPid = "pid=" + QByteArray::number(m_first.processId()) + '\n';
        QTRY_VERIFY_WITH_TIMEOUT(ownsTheName() && test::readFile(sessionMarker()).contains(ownPid),
                                 20000);
    }
    Finished run(const QStringList& arguments, const QString& folder = QDir::currentPath()) {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.start(QStringLiteral(IVRA_BINARY), arguments);
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitCode(), process.readAllStandardError()};
    }

    test::PrivateSessionBus m_bus;
    QProcess m_first;
};

void SingleInstanceTest::initTestCase() {
    QVERIFY(m_bus.start());
}

void SingleInstanceTest::init() {
    QDir(crashDir()).removeRecursively();
}

void SingleInstanceTest::cleanup() {
    if (m_first.state() != QProcess::NotRunning) {
        m_first.terminate();
        if (!m_first.waitForFinished(10000)) {
            m_first.kill();
            m_first.waitForFinished();
        }
    }
    // The bus lets the name go a moment after its owner ended; the next test's Ivra must
    // not meet it.
    QTRY_VERIFY(!ownsTheName());
}

void SingleInstanceTest::aSecondIvraHandsItsCaptureToTheRunningOne() {
    QTemporaryDir folder;
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>());
    settings.setSaveDirectory(folder.path());
    settings.defaults().setValue(QString::fromLatin1(SettingsStore::Keys::afterCaptureAction),
                                 QStringLiteral("pin"));
    startFirst();

    const Finished second = run({QStringLiteral("--full-screen")});
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(second.standardError, QByteArray());

    // The running Ivra took the capture: it lands in the folder as a screen-sized image.
    QTRY_COMPARE_WITH_TIMEOUT(QDir(folder.path()).entryList({"*.png"}, QDir::Files).size(), 1,
                              10000);
    const QString file = QDir(folder.path()).entryList({"*.png"}, QDir::Files).first();
    const QImage image(QDir(folder.path()).filePath(file));
    QVERIFY(image.size() == QSize(1920, 1080) || image.size() == QSize(1280, 1024));
    QCOMPARE(m_first.state(), QProcess::Running);
}

void SingleInstanceTest::aPlainSecondIvraLeavesNoCrashReportAndAKillIsStillReported() {
    startFirst();
    const QByteArray marker = test::readFile(sessionMarker());

    const Finished second = run({});
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.standardError.contains("ivra: Ivra is already running."),
             second.standardError.constData());
    QVERIFY(!QFile::exists(pendingReport()));
    QCOMPARE(test::readFile(sessionMarker()), marker);

    // The first one dies later without a clean exit: the next start reports it.
    m_first.kill();
    QVERIFY(m_first.waitForFinished());
    QTRY_VERIFY(!ownsTheName());
    startFirst();
    QCOMPARE(reportType(), QStringLiteral("HardCrash"));
}

void SingleInstanceTest::anUnreadableFileIsRefusedAndTheRunningIvraGoesOn() {
    startFirst();
    QTemporaryDir folder;
    // A relative name means the file in the folder the command was given in.
    const Finished second =
        run({QStringLiteral("--edit"), QStringLiteral("no/such.png")}, folder.path());
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.standardError.contains(QFile::encodeName(folder.filePath("no/such.png"))),
             second.standardError.constData());

    QTest::qWait(200);
    QCOMPARE(m_first.state(), QProcess::Running);
    const Finished plain = run({});
    QCOMPARE(plain.exitCode, 0);
    QVERIFY(plain.standardError.contains("already running"));
    QVERIFY(!QFile::exists(pendingReport()));
}

void SingleInstanceTest::twoStartedAtOnceLeaveOneRunning() {
    QProcess a;
    QProcess b;
    for (QProcess* process : {&a, &b}) {
        process->start(QStringLiteral(IVRA_BINARY), {});
    }
    // Whichever lost the race gave way to the other, as a later start would.
    QTRY_VERIFY_WITH_TIMEOUT(a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning,
                             20000);
    QProcess& gone = a.state() == QProcess::NotRunning ? a : b;
    QProcess& running = &gone == &a ? b : a;
    QCOMPARE(gone.exitCode(), 0);
    QVERIFY(gone.readAllStandardError().contains("already running"));
    QTRY_VERIFY_WITH_TIMEOUT(ownsTheName() && QFile::exists(sessionMarker()), 20000);
    QTest::qWait(200);
    QCOMPARE(running.state(), QProcess::Running);
    QVERIFY(!QFile::exists(pendingReport()));

    running.terminate();
    QVERIFY(running.waitForFinished(10000));
    QCOMPARE(running.exitCode(), 0);
    QVERIFY(!QFile::exists(sessionMarker()));
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
