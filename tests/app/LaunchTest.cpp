#include <csignal>
#include <utility>

#include <sys/types.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QThread>

#include "PrivateSessionBus.h"
#include "support/TestSupport.h"

// The real binary, started as a user would start it.
class LaunchTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_bus.start()); }
    void init();
    void helpAndVersionNeedNoDisplay();
    void withoutADisplayItExplainsInsteadOfCrashing();
    void aSignalIsACleanExit_data();
    void aSignalIsACleanExit();
    void killLeavesTheMarkerAndTheNextStartReportsIt();
    void aDamagedLibraryIsSetAsideAndIvraStillStarts();
    void anUnreadableFileToEditEndsWithAMessageNotACrashReport();

private:
    static QString crashDir() {
        return QDir(qEnvironmentVariable("XDG_DATA_HOME"))
            .filePath(QStringLiteral("Vantrel/crash"));
    }
    static QString sessionMarker() { return crashDir() + QStringLiteral("/session.open"); }
    static QString pendingReport() { return crashDir() + QStringLiteral("/pending.json"); }
    // Starts ivra and waits until it has armed the crash marker (start-up has run).
    void startAndWaitUntilRunning(QProcess& process);

    // Ivra is one per session bus: a bus of this test's own keeps the copies of other tests
    // from answering for it.
    ivra::test::PrivateSessionBus m_bus;
};

void LaunchTest::init() {
    QDir(crashDir()).removeRecursively();
}

namespace {

// Runs ivra as from a text console: no display of any kind.
void runWithoutDisplay(QProcess& process, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(IVRA_BINARY), arguments);
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
}

} // namespace

void LaunchTest::helpAndVersionNeedNoDisplay() {
    QProcess process;
    runWithoutDisplay(process, {QStringLiteral("--version")});
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().startsWith("ivra "));

    runWithoutDisplay(process, {QStringLiteral("--help")});
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().contains("Usage: ivra"));
}

void LaunchTest::withoutADisplayItExplainsInsteadOfCrashing() {
    QProcess process;
    runWithoutDisplay(process, {});
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("needs a graphical session"));
    // A mistyped option is said first, display or not (a single dash may be Qt's own).
    runWithoutDisplay(process, {QStringLiteral("--arae")});
    QCOMPARE(process.exitCode(), 1);
    const QByteArray said = process.readAllStandardError();
    QVERIFY2(said.startsWith("ivra: ignoring unknown argument '--arae' (see 'ivra --help')\n"
                             "ivra: Ivra needs a graphical session"),
             said.constData());
    QVERIFY(said.contains("xvfb-run -a ivra"));
    runWithoutDisplay(process, {QStringLiteral("-platform"), QStringLiteral("xcb")});
    QVERIFY(!process.readAllStandardError().contains("unknown argument"));

    // A display that names no running server: Ivra's message, not Qt's abort.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":987"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(IVRA_BINARY), {});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("cannot reach the X server \":987\""));
}

void LaunchTest::startAndWaitUntilRunning(QProcess& process) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(IVRA_BINARY), {});
    QVERIFY(process.waitForStarted());
    // The marker of this very process (an earlier one may have left its own).
    const QByteArray ownPid = "pid=" + QByteArray::number(process.processId()) + '\n';
    QTRY_VERIFY_WITH_TIMEOUT(ivra::test::readFile(sessionMarker()).contains(ownPid), 20000);
    // A second ivra is answered once start-up is over and the event loop runs.
    const auto second = ivra::test::runProcess(QStringLiteral(IVRA_BINARY), {}, 60000);
    QCOMPARE(second.exitCode, 0);
    QVERIFY(second.standardError.contains("already running"));
    QCOMPARE(process.state(), QProcess::Running);
}

void LaunchTest::aSignalIsACleanExit_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("duringStartUp");
    for (const auto& [name, number] : {std::pair{"SIGTERM", SIGTERM}, std::pair{"SIGINT", SIGINT},
                                       std::pair{"SIGHUP", SIGHUP}}) {
        QTest::addRow("%s, running", name) << number << false << false;
        QTest::addRow("%s, starting", name) << number << false << true;
        QTest::addRow("%s, starting to edit a 4K image", name) << number << true << true;
    }
}

// A logout (SIGHUP), Ctrl+C (SIGINT) or `kill` (SIGTERM) ends Ivra as a clean exit, also
// while it is still starting: nothing is reported at the next start.
void LaunchTest::aSignalIsACleanExit() {
    QFETCH(int, signalNumber);
    QFETCH(bool, editing);
    QFETCH(bool, duringStartUp);
    // A large image keeps start-up busy for a while after the marker is written.
    const QString image = QDir(qEnvironmentVariable("TMPDIR")).filePath(QStringLiteral("4k.png"));
    if (editing && !QFile::exists(image)) {
        QImage picture(3840, 2160, QImage::Format_RGB32);
        picture.fill(QColor(30, 90, 160));
        QVERIFY(picture.save(image));
    }
    QProcess process;
    if (duringStartUp) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(IVRA_BINARY),
                      editing ? QStringList{QStringLiteral("--edit"), image} : QStringList{});
        QVERIFY(process.waitForStarted());
        // The moment this run is marked as running, start-up is still under way.
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(sessionMarker()) && clock.elapsed() < 20000) {
            QThread::usleep(200);
        }
        QVERIFY(QFile::exists(sessionMarker()));
    } else {
        startAndWaitUntilRunning(process);
    }
    QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFile::exists(sessionMarker()));

    // The next start finds nothing to report.
    QProcess next;
    startAndWaitUntilRunning(next);
    QVERIFY(!QFile::exists(pendingReport()));
    next.terminate();
    QVERIFY(next.waitForFinished(10000));
}

void LaunchTest::killLeavesTheMarkerAndTheNextStartReportsIt() {
    QProcess process;
    startAndWaitUntilRunning(process);
    process.kill(); // SIGKILL: no chance to clean up
    QVERIFY(process.waitForFinished(10000));
    QVERIFY(QFile::exists(sessionMarker()));
    QVERIFY(!QFile::exists(pendingReport()));

    QProcess next;
    startAndWaitUntilRunning(next);
    const QJsonObject event =
        QJsonDocument::fromJson(ivra::test::readFile(pendingReport())).object();
    QCOMPARE(event.value(QStringLiteral("level")).toString(), QStringLiteral("fatal"));
    const QJsonObject exception = event.value(QStringLiteral("exception"))
                                      .toObject()
                                      .value(QStringLiteral("values"))
                                      .toArray()
                                      .at(0)
                                      .toObject();
    QCOMPARE(exception.value(QStringLiteral("type")).toString(), QStringLiteral("HardCrash"));
    next.terminate();
    QVERIFY(next.waitForFinished(10000));
    QVERIFY(!QFile::exists(sessionMarker()));
}

void LaunchTest::aDamagedLibraryIsSetAsideAndIvraStillStarts() {
    const QDir base(
        QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath(QStringLiteral("Vantrel")));
    QVERIFY(base.mkpath(QStringLiteral(".")));
    QVERIFY(ivra::test::writeFile(base.filePath(QStringLiteral("Vantrel.store")),
                                  QByteArray(4096, '\x5a')));
    QProcess process;
    startAndWaitUntilRunning(process);
    const QStringList setAside =
        base.entryList({QStringLiteral("Vantrel.store.damaged-*")}, QDir::Files);
    QCOMPARE(setAside.size(), 1);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
}

void LaunchTest::anUnreadableFileToEditEndsWithAMessageNotACrashReport() {
    QProcess process;
    process.start(QStringLiteral(IVRA_BINARY),
                  {QStringLiteral("--edit"), QStringLiteral("/no/such.png")});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().endsWith(
        "ivra: cannot open \"/no/such.png\" in the editor: no such file\n"));
    QVERIFY(QFile::exists(crashDir())); // start-up ran
    QVERIFY(!QFile::exists(sessionMarker()));
}

QTEST_GUILESS_MAIN(LaunchTest)
#include "LaunchTest.moc"
