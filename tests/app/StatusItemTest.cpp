#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "app/ui/StatusItemController.h"

using namespace ivra;

namespace {

using Click = StatusItemController::ClickResponse;

// Counts which callbacks ran, by name.
struct Calls {
    QStringList names;
    std::function<void()> record(const QString& name) {
        return [this, name] { names << name; };
    }
};

StatusItemActions everyAction(Calls& calls, const bool& recording) {
    StatusItemActions actions;
    actions.captureArea = calls.record(QStringLiteral("area"));
    actions.captureWindow = calls.record(QStringLiteral("window"));
    actions.captureFullScreen = calls.record(QStringLiteral("fullScreen"));
    actions.toggleRecording = calls.record(QStringLiteral("recording"));
    actions.showSettings = calls.record(QStringLiteral("settings"));
    actions.showAbout = calls.record(QStringLiteral("about"));
    actions.toggleHistory = calls.record(QStringLiteral("history"));
    actions.quit = calls.record(QStringLiteral("quit"));
    actions.isRecording = [&recording] { return recording; };
    return actions;
}

// The menu as text: titles with their shortcuts, "-" for separators, "(off)" when disabled.
QStringList describe(const QMenu& menu) {
    QStringList lines;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines << QStringLiteral("-");
            continue;
        }
        QString line = action->text();
        if (!action->shortcut().isEmpty()) {
            line += u'\t' + action->shortcut().toString(QKeySequence::NativeText);
        }
        if (!action->isEnabled()) {
            line += QStringLiteral(" (off)");
        }
        lines << line;
    }
    return lines;
}

} // namespace

class StatusItemTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void menuListsEveryEntryInOrder() {
        Calls calls;
        const bool recording = false;
        StatusItemController controller(everyAction(calls, recording));
        QCOMPARE(describe(controller.menu()),
                 QStringList({"Capture Area", "Capture Window…", "Capture Full Screen", "-",
                              "Start Screen Recording", "-", "Settings…\tCtrl+,", "About Ivra", "-",
                              "Quit Ivra\tCtrl+Q"}));
        QCOMPARE(controller.trayIcon().toolTip(),
                 QStringLiteral("Ivra — click for history, right-click for menu"));
        QVERIFY(!controller.trayIcon().icon().isNull());

        // Every entry reaches its own callback.
        for (QAction* action : controller.menu().actions()) {
            action->trigger();
        }
        QCOMPARE(calls.names, QStringList({"area", "window", "fullScreen", "recording", "settings",
                                           "about", "quit"}));
    }

    void featuresNotThereYetShowDisabled() {
        Calls calls;
        StatusItemActions actions;
        actions.captureArea = calls.record(QStringLiteral("area"));
        actions.showAbout = calls.record(QStringLiteral("about"));
        actions.quit = calls.record(QStringLiteral("quit"));
        StatusItemController controller(actions);
        QCOMPARE(describe(controller.menu()),
                 QStringList({"Capture Area", "Capture Window… (off)", "Capture Full Screen (off)",
                              "-", "Start Screen Recording (off)", "-", "Settings…\tCtrl+, (off)",
                              "About Ivra", "-", "Quit Ivra\tCtrl+Q"}));
        // Without a history shelf a plain click opens the menu instead.
        controller.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
        QTRY_VERIFY(controller.menu().isVisible());
        controller.menu().hide();
        QVERIFY(calls.names.isEmpty());
    }

    void captureTitleCarriesTheShortcut() {
        QCOMPARE(StatusItemController::captureAreaTitle(QStringLiteral("Ctrl+Shift+1")),
                 QStringLiteral("Capture Area  (Ctrl+Shift+1)"));
        QCOMPARE(StatusItemController::captureAreaTitle(std::nullopt),
                 QStringLiteral("Capture Area"));
        QCOMPARE(StatusItemController::captureAreaTitle(QString()), QStringLiteral("Capture Area"));

        Calls calls;
        const bool recording = false;
        StatusItemController controller(everyAction(calls, recording));
        controller.updateCaptureMenuTitle(QStringLiteral("Print"));
        QCOMPARE(controller.menu().actions().first()->text(),
                 QStringLiteral("Capture Area  (Print)"));
        controller.updateCaptureMenuTitle(std::nullopt);
        QCOMPARE(controller.captureAreaAction().text(), QStringLiteral("Capture Area"));
    }

    void recordingTitleIsReadWhenTheMenuOpens() {
        Calls calls;
        bool recording = false;
        StatusItemController controller(everyAction(calls, recording));
        QMenu& menu = controller.menu();
        recording = true;
        // The title follows the recording only when the menu is about to show.
        QCOMPARE(controller.recordingAction().text(), QStringLiteral("Start Screen Recording"));
        menu.popup(QPoint(100, 100));
        QTRY_VERIFY(menu.isVisible());
        QCOMPARE(controller.recordingAction().text(), QStringLiteral("Stop Screen Recording"));
        controller.recordingAction().trigger();
        QCOMPARE(calls.names, QStringList{"recording"});
        menu.hide();

        recording = false;
        menu.popup(QPoint(100, 100));
        QTRY_VERIFY(menu.isVisible());
        QCOMPARE(controller.recordingAction().text(), QStringLiteral("Start Screen Recording"));
        menu.hide();
    }

    void clicksAreRouted() {
        using Tray = QSystemTrayIcon;
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
        const auto route = &StatusItemController::responseTo;
        QCOMPARE(route(Tray::Trigger, none, true), Click::ToggleHistory);
        // The second of two quick clicks toggles again.
        QCOMPARE(route(Tray::DoubleClick, none, true), Click::ToggleHistory);
        QCOMPARE(route(Tray::Trigger, shift, true), Click::ToggleHistory);
        QCOMPARE(route(Tray::Trigger, ctrl, true), Click::ShowMenu);
        QCOMPARE(route(Tray::Trigger, ctrl | shift, true), Click::ShowMenu);
        QCOMPARE(route(Tray::Context, none, true), Click::ShowMenu);
        QCOMPARE(route(Tray::MiddleClick, none, true), Click::Nothing);
        QCOMPARE(route(Tray::Trigger, none, false), Click::ShowMenu);
    }

    void menuThenHistoryAgain() {
        Calls calls;
        const bool recording = false;
        StatusItemController controller(everyAction(calls, recording));
        controller.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
        controller.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
        QCOMPARE(calls.names, QStringList({"history", "history"}));

        controller.handleActivation(QSystemTrayIcon::Context, Qt::NoModifier);
        QTRY_VERIFY(controller.menu().isVisible());
        controller.menu().hide();
        controller.handleActivation(QSystemTrayIcon::Trigger, Qt::ControlModifier);
        QTRY_VERIFY(controller.menu().isVisible());
        controller.menu().hide();
        controller.handleActivation(QSystemTrayIcon::MiddleClick, Qt::NoModifier);
        QVERIFY(!controller.menu().isVisible());
        // After the menu, a plain click toggles the shelf again.
        controller.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
        QCOMPARE(calls.names, QStringList({"history", "history", "history"}));
    }

    void iconReadsOnLightAndDarkPanels() {
        const QIcon icon = StatusItemController::icon();
        for (const int sidePx : StatusItemController::kIconSizesPx) {
            const QImage image = icon.pixmap(QSize(sidePx, sidePx), 1.0).toImage();
            QCOMPARE(image.size(), QSize(sidePx, sidePx));
            int light = 0;
            int dark = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.alpha() < 200) {
                        continue;
                    }
                    if (pixel.lightness() > 200) {
                        ++light;
                    } else if (pixel.lightness() < 60) {
                        ++dark;
                    }
                }
            }
            // Enough of both: light strokes for dark panels, a dark rim for light ones.
            const int area = sidePx * sidePx;
            QVERIFY2(
                light > area / 20 && dark > area / 20,
                qPrintable(
                    QStringLiteral("%1 px: %2 light, %3 dark").arg(sidePx).arg(light).arg(dark)));
        }
    }
};

QTEST_MAIN(StatusItemTest)
#include "StatusItemTest.moc"
