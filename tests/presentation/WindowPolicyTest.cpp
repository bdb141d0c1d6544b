#include <QApplication>
#include <QTest>
#include <QWidget>

#include "presentation/ui/Appearance.h"
#include "presentation/ui/X11WindowState.h"

using namespace ivra;

// What a Linux taskbar sees of Ivra's windows, read back from the X server under a
// window manager.
class WindowPolicyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void taskbarsSeeWhatTheSettingSays_data() {
        QTest::addColumn<bool>("inTaskbar");
        QTest::newRow("shown in the taskbar") << true;
        QTest::newRow("tray only") << false;
    }

    void taskbarsSeeWhatTheSettingSays() {
        QFETCH(bool, inTaskbar);
        WindowPolicy::setActivationPolicy(inTaskbar ? ActivationPolicy::Regular
                                                    : ActivationPolicy::Accessory);
        QWidget window;
        window.resize(200, 120);
        WindowPolicy::apply(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The window manager has taken the window over by now and keeps its states.
        QTest::qWait(200);
        const QByteArrayList states = X11WindowState::states(window);
        QCOMPARE(states.contains("_NET_WM_STATE_SKIP_TASKBAR"), !inTaskbar);
        QCOMPARE(states.contains("_NET_WM_STATE_SKIP_PAGER"), !inTaskbar);
        QCOMPARE(window.windowFlags().testFlag(Qt::Tool), !inTaskbar);
    }
};

QTEST_MAIN(WindowPolicyTest)
#include "WindowPolicyTest.moc"
