#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "imageio/ImageCodec.h"
#include "library/CaptureRepository.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

const QColor kPatch(20, 180, 90);

// Runs a helper program to its end and returns what it printed.
QByteArray output(const QString& program, const QStringList& arguments) {
    return test::runProcess(program, arguments, 10000).standardOutput;
}

} // namespace

// The real binary captures on the two-monitor desktop, driven like a user drives it: an
// area drawn, annotated and pinned; full-screen captures of the monitor the pointer is on,
// at its own size, into the user's folder and library, or onto the clipboard when no folder
// was chosen.
class CaptureEndToEndTest : public QObject {
    Q_OBJECT

    QString m_configFile =
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("Vantrel/Ivra.conf"));
    SettingsStore m_settings{std::make_shared<platform::IniKeyValueStore>(m_configFile)};
    QTemporaryDir m_root;
    QString m_folder = m_root.filePath(QStringLiteral("Pictures"));
    // A patch of known colour on each monitor.
    QList<QWidget*> m_patches;
    QProcess m_ivra;

    void startIvra(const QStringList& arguments) {
        m_ivra.setProcessChannelMode(QProcess::ForwardedChannels);
        m_ivra.start(QStringLiteral(IVRA_BINARY), arguments);
        QVERIFY(m_ivra.waitForStarted());
    }
    void stopIvra() {
        m_ivra.terminate();
        QVERIFY(m_ivra.waitForFinished(10000));
        QCOMPARE(m_ivra.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_ivra.exitCode(), 0);
    }
    QStringList captures() const {
        return QDir(m_folder).entryList({QStringLiteral("Ivra *.png")}, QDir::Files, QDir::Name);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDir().mkpath(m_folder));
        for (QScreen* screen : QGuiApplication::screens()) {
            auto* patch = new QWidget;
            patch->setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                  Qt::WindowDoesNotAcceptFocus);
            patch->setAutoFillBackground(true);
            patch->setPalette(QPalette(kPatch));
            patch->setGeometry(QRect(screen->geometry().topLeft() + QPoint(40, 60), QSize(50, 30)));
            patch->show();
            QVERIFY(QTest::qWaitForWindowExposed(patch));
            m_patches.append(patch);
        }
        QTest::qWait(300);
    }
    void cleanup() {
        if (m_ivra.state() != QProcess::NotRunning) {
            m_ivra.kill();
            m_ivra.waitForFinished();
        }
    }
    void cleanupTestCase() { qDeleteAll(m_patches); }

    void theMonitorUnderThePointerIsStoredAndPinned() {
        m_settings.setSaveDirectory(m_folder);
        const QList<QScreen*> screens = QGuiApplication::screens();
        QVERIFY(screens.size() >= 2);
        startIvra({QStringLiteral("--full-screen")});
        output(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QStringLiteral("300"), QStringLiteral("300")});
        QTRY_COMPARE_WITH_TIMEOUT(captures().size(), 1, 20000);

        // The second monitor, through the running Ivra.
        const QRect second = screens.at(1)->geometry();
        output(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QString::number(second.x() + 200),
                QString::number(second.y() + 200)});
        const auto forwarded =
            test::runProcess(QStringLiteral(IVRA_BINARY), {QStringLiteral("--full-screen")});
        QCOMPARE(forwarded.exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(captures().size(), 2, 20000);

        // A request for a flow this version does not have says so, and Ivra goes on.
        const auto settings =
            test::runProcess(QStringLiteral(IVRA_BINARY), {QStringLiteral("--open-settings")});
        QCOMPARE(settings.exitCode, 1);
        QVERIFY2(settings.standardError.contains("not available"),
                 settings.standardError.constData());
        QCOMPARE(m_ivra.state(), QProcess::Running);

        // Both are in the library the next start reads, each at its monitor's own size.
        QList<CaptureRecord> records;
        QTRY_COMPARE_WITH_TIMEOUT((records = CaptureRepository(m_settings).fetchAll()).size(), 2,
                                  5000);
        QList<QSize> sizes;
        for (const CaptureRecord& record : records) {
            const QImage image(record.imagePath);
            QCOMPARE(image.pixelColor(45, 65), kPatch);
            QVERIFY(image.pixelColor(30, 50) != kPatch);
            sizes.append(image.size());
        }
        QVERIFY(sizes.contains(screens.at(0)->size() * screens.at(0)->devicePixelRatio()));
        QVERIFY(sizes.contains(screens.at(1)->size() * screens.at(1)->devicePixelRatio()));
        stopIvra();
    }

    void withoutAFolderTheCaptureWaitsOnTheClipboard() {
        m_settings.remove(SettingsStore::Keys::saveDirectoryBookmark);
        m_settings.remove(SettingsStore::Keys::saveDirectoryPath);
        output(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QStringLiteral("300"), QStringLiteral("300")});
        startIvra({QStringLiteral("--full-screen")});
        // The folder prompt opens; the user cancels it.
        const QByteArray dialog =
            output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--sync"),
                                               QStringLiteral("--onlyvisible"),
                                               QStringLiteral("--name"), QStringLiteral("^Ivra$")})
                .trimmed();
        QVERIFY(!dialog.isEmpty());
        output(QStringLiteral("xdotool"),
               {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                QString::fromLatin1(dialog.split('\n').first())});
        output(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});

        // Another client reads the capture from the clipboard while Ivra serves it.
        QImage pasted;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(pasted = imageio::decode(output(QStringLiteral("xclip"),
                                              {QStringLiteral("-o"), QStringLiteral("-selection"),
                                               QStringLiteral("clipboard"), QStringLiteral("-t"),
                                               QStringLiteral("image/png")})))
                 .isNull(),
            20000);
        QCOMPARE(pasted.size(), QGuiApplication::primaryScreen()->size() *
                                    QGuiApplication::primaryScreen()->devicePixelRatio());
        QCOMPARE(pasted.pixelColor(45, 65), kPatch);
        QVERIFY(captures().size() == 2 && CaptureRepository(m_settings).fetchAll().size() == 2);
        stopIvra();
    }

    void anAreaIsDrawnAnnotatedAndPinned() {
        m_settings.setSaveDirectory(m_folder);
        const QStringList before = captures();
        startIvra({});
        // Once this Ivra runs, `ivra --area` hands it the request (before, it would become
        // the running Ivra itself).
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                     QStringLiteral("org.vantrel.Ivra")),
                                 20000);
        QCOMPARE(test::runProcess(QStringLiteral(IVRA_BINARY), {QStringLiteral("--area")}).exitCode,
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            !output(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QStringLiteral("Ivra area capture")})
                 .trimmed()
                 .isEmpty(),
            20000);
        // Over the first monitor's patch (40, 60, 50 × 30): a 200 × 150 area from (20, 40).
        const auto xdotool = [](QStringList arguments) {
            output(QStringLiteral("xdotool"), arguments);
        };
        xdotool({"mousemove", "20", "40", "mousedown", "1", "mousemove", "120", "100", "mousemove",
                 "220", "190", "mouseup", "1"});
        // A tool letter, a rectangle drawn inside the area, Return.
        xdotool({"key", "r"});
        xdotool({"mousemove", "150", "120", "mousedown", "1", "mousemove", "170", "140",
                 "mousemove", "190", "170", "mouseup", "1"});
        xdotool({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(captures().size(), before.size() + 1, 20000);
        QStringList added = captures();
        for (const QString& name : before) {
            added.removeOne(name);
        }
        const QImage image(QDir(m_folder).filePath(added.first()));
        QCOMPARE(image.size(), QSize(200, 150));
        QCOMPARE(image.pixelColor(25, 25), kPatch);     // the patch at (45, 65) on screen
        QVERIFY(image.pixelColor(10, 10) != kPatch);    // the desktop around it
        const QColor edge = image.pixelColor(130, 100); // the rectangle's left edge
        QVERIFY2(edge.red() > 180 && edge.green() < 100, qPrintable(edge.name()));
        QCOMPARE(image.pixelColor(150, 115), image.pixelColor(150, 140)); // not filled
        stopIvra();
    }

    void theDefaultShortcutOpensTheOverlay() {
        startIvra({});
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                     QStringLiteral("org.vantrel.Ivra")),
                                 20000);
        const auto overlays = [] {
            return output(QStringLiteral("xdotool"),
                          {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                           QStringLiteral("--name"), QStringLiteral("Ivra area capture")})
                .trimmed();
        };
        // Ctrl+Shift+1 from whatever has the focus; Esc closes the overlay again.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                output(QStringLiteral("xdotool"),
                       {QStringLiteral("key"), QStringLiteral("ctrl+shift+1")});
                return !overlays().isEmpty();
            }(),
            20000);
        output(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
        QTRY_VERIFY_WITH_TIMEOUT(overlays().isEmpty(), 10000);
        stopIvra();
    }
};

QTEST_MAIN(CaptureEndToEndTest)
#include "CaptureEndToEndTest.moc"
