#include <QMenu>
#include <QProcess>
#include <QTest>

#include "app/ui/StatusItemController.h"
#include "support/TestSupport.h"

using namespace ivra;

// The tray item in a real tray host (trayer), clicked through the X server.
class TrayHostTest : public QObject {
    Q_OBJECT

    QProcess m_trayHost;

    static void click(QPoint at, int button) {
        const auto result = test::runProcess(QStringLiteral("xdotool"),
                                             {QStringLiteral("mousemove"), QString::number(at.x()),
                                              QString::number(at.y()), QStringLiteral("click"),
                                              QString::number(button)});
        QCOMPARE(result.exitCode, 0);
    }

private Q_SLOTS:
    void initTestCase() {
        m_trayHost.start(QStringLiteral("trayer"),
                         {QStringLiteral("--edge"), QStringLiteral("bottom"),
                          QStringLiteral("--align"), QStringLiteral("right"),
                          QStringLiteral("--widthtype"), QStringLiteral("request"),
                          QStringLiteral("--height"), QStringLiteral("24")});
        QVERIFY(m_trayHost.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(StatusItemController::hasSystemTray(), 5000);
    }
    void cleanupTestCase() {
        m_trayHost.terminate();
        m_trayHost.waitForFinished();
    }

    void clicksOnTheTrayIcon() {
        int historyToggles = 0;
        StatusItemActions actions;
        actions.toggleHistory = [&historyToggles] { ++historyToggles; };
        actions.quit = [] {};
        StatusItemController controller(actions);
        controller.show();
        QTRY_VERIFY_WITH_TIMEOUT(controller.trayIcon().geometry().isValid(), 5000);
        // The host settles the embedded icon's place a moment after it first reports one.
        QTest::qWait(1500);
        const QPoint icon = controller.trayIcon().geometry().center();

        click(icon, 1);
        QTRY_COMPARE(historyToggles, 1);
        QVERIFY(!controller.menu().isVisible());

        click(icon, 3);
        QTRY_VERIFY(controller.menu().isVisible());
        QCOMPARE(controller.menu().actions().last()->text(), QStringLiteral("Quit Ivra"));
        QCOMPARE(historyToggles, 1);
    }
};

QTEST_MAIN(TrayHostTest)
#include "TrayHostTest.moc"
