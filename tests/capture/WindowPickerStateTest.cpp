#include <QTest>

#include "capture/WindowPickerState.h"
#include "keyboard/KeyPositions.h"

using namespace ivra;

namespace {

CaptureWindow window(WindowID id, QRectF frame, qint64 pid = 100, int layer = 0,
                     bool onScreen = true, std::optional<QString> app = std::nullopt) {
    CaptureWindow w;
    w.windowID = id;
    w.frame = frame;
    w.pid = pid;
    w.windowLayer = layer;
    w.isOnScreen = onScreen;
    w.applicationID = std::move(app);
    return w;
}

} // namespace

class WindowPickerStateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onlyOrdinaryWindowsOfOtherProgramsAreOffered() {
        const QList<CaptureWindow> all{
            window(1, {0, 0, 50, 400}),                            // too narrow
            window(2, {0, 0, 60, 60}),                             // just large enough
            window(3, {0, 0, 300, 200}, 100, 1),                   // a panel's layer
            window(4, {0, 0, 300, 200}, 100, 0, false),            // not on screen
            window(5, {0, 0, 300, 200}, 42),                       // Ivra's own process
            window(6, {0, 0, 300, 200}, 7, 0, true, "ivra"),       // Ivra's own entry
            window(7, {0, 0, 300, 200}, 0, 0, true, std::nullopt), // nothing known of it
        };
        QList<WindowID> offered;
        for (const CaptureWindow& w : WindowPickerState::pickable(all, 42, "ivra")) {
            offered.append(w.windowID);
        }
        QCOMPARE(offered, (QList<WindowID>{2, 7}));
    }

    void theFirstListedWindowUnderThePointerIsPickedByAClick() {
        // A 1920 × 1080 primary display, and a second one left of and above it.
        const QRect primary(0, 0, 1920, 1080);
        const QRect second(-1280, -600, 1280, 1024);
        const QList<CaptureWindow> windows{window(1, {100, 100, 400, 300}),
                                           window(2, {300, 200, 400, 300}),
                                           window(3, {-1000, -500, 600, 400})};
        const auto onPrimary = WindowPickerState::candidatesFor(windows, primary);
        // y up from the display's bottom: 1080 − (100 + 300).
        QCOMPARE(onPrimary[0].rect, QRectF(100, 680, 400, 300));
        QCOMPARE(onPrimary[2].rect, QRectF(-1000, 1180, 600, 400)); // off this display
        const auto onSecond = WindowPickerState::candidatesFor(windows, second);
        QCOMPARE(onSecond[2].rect, QRectF(280, 524, 600, 400));
        QVERIFY(onSecond[0].rect.x() > 1280); // the primary's windows lie outside

        QList<WindowID> picked;
        int cancelled = 0;
        WindowPickerState state(
            onPrimary, QSizeF(1920, 1080), [&] { ++cancelled; },
            [&](const CaptureWindow& w) { picked.append(w.windowID); });
        state.click(); // nothing highlighted: nothing happens
        QVERIFY(picked.isEmpty());
        state.updateHover({350, 700}); // inside both: the first listed wins
        QCOMPARE(state.highlightedRect(), std::optional(QRectF(100, 680, 400, 300)));
        QCOMPARE(state.highlightedViewRect(), std::optional(QRectF(100, 100, 400, 300)));
        state.updateHover({1500, 200}); // the desktop: no highlight
        QVERIFY(!state.highlightedRect());
        state.click();
        QVERIFY(picked.isEmpty());
        state.updateHover({650, 600}); // only the second
        QVERIFY(!state.handleKeyDown(keypos::Return));
        state.click();
        QCOMPARE(picked, QList<WindowID>{2});
        // Once picked, nothing ends twice.
        state.click();
        QVERIFY(!state.handleKeyDown(keypos::Escape));
        QCOMPARE(picked.size(), 1);
        QCOMPARE(cancelled, 0);

        WindowPickerState other(
            onPrimary, QSizeF(1920, 1080), [&] { ++cancelled; }, [&](const CaptureWindow&) {});
        QVERIFY(other.handleKeyDown(keypos::Escape));
        QCOMPARE(cancelled, 1);
    }
};

QTEST_GUILESS_MAIN(WindowPickerStateTest)
#include "WindowPickerStateTest.moc"
