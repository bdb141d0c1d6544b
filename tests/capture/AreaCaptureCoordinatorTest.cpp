#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QPromise>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <xcb/xcb.h>

#include "annotation/AnnotationStore.h"
#include "capture/AreaOverlayLayout.h"
#include "capture/OverlayKeyboard.h"
#include "capture/ui/AreaCaptureCoordinator.h"
#include "capture/ui/AreaSelectionWindow.h"
#include "editor/BackgroundRemover.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/ForeignWindow.h"
#include "support/ScriptedCaptureBackend.h"
#include "support/TestSupport.h"
#include "support/Xdotool.h"

using namespace ivra;

namespace {

using test::xdotool;

} // namespace

// The coordinator on the real two-monitor X server: real frozen frames, real overlay windows,
// the real keyboard grab, and keys and drags typed with xdotool.
class AreaCaptureCoordinatorTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_settings{
        std::make_shared<platform::IniKeyValueStore>(m_dir.filePath(QStringLiteral("ivra.conf")))};
    std::unique_ptr<ScreenCaptureBackend> m_x11 = platform::X11ScreenCaptureBackend::create();
    test::ScriptedCaptureBackend m_backend{*m_x11};
    std::unique_ptr<OverlayKeyboard> m_keyboard;
    std::unique_ptr<AreaCaptureCoordinator> m_coordinator;
    std::shared_ptr<QPromise<RecognitionResult>> m_recognition;
    QStringList m_events; // endings and shown texts, in order
    QList<AreaCaptureResult> m_results;
    QImage m_clipboardAtResult;

    void begin(bool ocr = false) {
        m_coordinator->beginCapture(ocr, [this](AreaCaptureResult result) {
            m_events.append(QStringLiteral("result %1").arg(int(result.kind)));
            m_results.append(result);
            m_clipboardAtResult = QGuiApplication::clipboard()->image();
        });
    }
    AreaSelectionWindow* overlayOn(int screen) {
        for (AreaSelectionWindow* window : m_coordinator->windows()) {
            if (window->targetScreen() == QGuiApplication::screens().at(screen)) {
                return window;
            }
        }
        return nullptr;
    }
    bool shown(AreaSelectionWindow* window) {
        return window && window->isVisible() && window->windowHandle()->isExposed();
    }
    // Drags with the real pointer from `from` to `to` (global coordinates).
    void drag(QPoint from, QPoint to) {
        xdotool({"mousemove", QString::number(from.x()), QString::number(from.y())});
        xdotool({"mousedown", "1"});
        xdotool({"mousemove", QString::number((from.x() + to.x()) / 2),
                 QString::number((from.y() + to.y()) / 2)});
        xdotool({"mousemove", QString::number(to.x()), QString::number(to.y())});
        xdotool({"mouseup", "1"});
    }
    // Starts a capture and confirms a 300 × 200 selection on the first monitor.
    AreaSelectionWindow* annotateOnFirst() {
        begin();
        AreaSelectionWindow* first = nullptr;
        [&] { QTRY_VERIFY(shown(first = overlayOn(0))); }();
        drag({400, 300}, {700, 500});
        [&] {
            QTRY_VERIFY(first->state() &&
                        first->state()->phase() == AreaSelectionState::Phase::Annotating);
        }();
        return first;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_x11);
        QCOMPARE(QGuiApplication::screens().size(), 2);
        m_settings.setSaveDirectory(m_dir.path());
        m_settings.setText(SettingsStore::Keys::filenameTemplate, QStringLiteral("Area"));
        m_keyboard = createOverlayKeyboard();
        m_coordinator = std::make_unique<AreaCaptureCoordinator>(AreaCaptureCoordinator::Services{
            m_backend, m_settings, *m_keyboard, std::make_shared<UnavailableBackgroundRemover>(),
            [this](const QImage&) {
                m_events.append(QStringLiteral("recognising"));
                m_recognition = std::make_shared<QPromise<RecognitionResult>>();
                m_recognition->start();
                return m_recognition->future();
            },
            [this](const QString& text) { m_events.append(QStringLiteral("text ") + text); }});
        m_coordinator->warmUp();
    }
    void init() {
        m_events.clear();
        m_results.clear();
        xdotool({"mousemove", "100", "100"});
    }
    void cleanup() {
        // Whatever a failed check left running ends here.
        for (AreaSelectionWindow* window : m_coordinator->windows()) {
            window->state()->cancel();
            break;
        }
        QTRY_VERIFY(!m_coordinator->isActive());
    }

    void confirmingOnOneDisplayHidesTheOtherAndEscapeCancelsOnce() {
        begin();
        QVERIFY(m_coordinator->isActive());
        QTRY_VERIFY(shown(overlayOn(0)) && shown(overlayOn(1)));
        // Each overlay covers its whole monitor with that monitor's frozen frame.
        for (int screen = 0; screen < 2; ++screen) {
            AreaSelectionWindow* window = overlayOn(screen);
            QCOMPARE(window->geometry(), QGuiApplication::screens().at(screen)->geometry());
            QCOMPARE(window->state()->frozenFrame().size(),
                     QGuiApplication::screens().at(screen)->size());
        }
        // A second request while one runs is dropped.
        bool secondCalled = false;
        m_coordinator->beginCapture(false, [&](AreaCaptureResult) { secondCalled = true; });

        const QRect second = QGuiApplication::screens().at(1)->geometry();
        drag(second.topLeft() + QPoint(100, 100), second.topLeft() + QPoint(400, 300));
        QTRY_VERIFY(!overlayOn(0)->isVisible());
        QVERIFY(overlayOn(1)->isVisible());
        QCOMPARE(overlayOn(1)->state()->annotation()->selectionRect.size(), QSizeF(300, 200));

        xdotool({"key", "Escape"});
        QTRY_COMPARE(m_events, QStringList{"result 3"}); // cancelled
        QVERIFY(m_coordinator->windows().isEmpty());
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<AreaSelectionWindow*>(widget)) {
                QVERIFY(!widget->isVisible());
            }
        }
        // Anything late from this capture would come before the next capture's end.
        begin();
        QTRY_VERIFY(shown(overlayOn(0)));
        xdotool({"key", "Escape"});
        QTRY_COMPARE(m_events.size(), 2);
        QCOMPARE(m_events, (QStringList{"result 3", "result 3"}));
        QVERIFY(!secondCalled);
    }

    void keysTypedRightAfterTheRequestReachTheOverlay() {
        test::ForeignWindow application(QRect(5, 5, 40, 40), false);
        for (int run = 0; run < 5; ++run) {
            m_events.clear();
            application.focus();
            // Typed while the overlay is being prepared: Escape must still reach it.
            m_backend.typeAtNextRequest(QStringLiteral("Escape"));
            begin();
            QTRY_COMPARE(m_events, QStringList{"result 3"});
            application.sync();
            QCOMPARE(application.keysReceived(), 0);
        }
    }

    void framesThatNoScreenShowsCancel() {
        m_backend.setScreensShowDisplays(false);
        begin();
        m_backend.setScreensShowDisplays(true);
        QCOMPARE(m_events, QStringList{"result 3"});
        QVERIFY(!m_coordinator->isActive());
        // The next capture is accepted.
        begin();
        QTRY_VERIFY(shown(overlayOn(0)));
    }

    void toolLettersAndReturnPinTheAnnotatedCrop() {
        AreaSelectionWindow* overlay = annotateOnFirst();
        AreaSelectionState* state = overlay->state();
        const QImage frame = state->frozenFrame();
        QCOMPARE(state->annotation()->crop.size(), QSize(300, 200));
        QCOMPARE(overlay->hintText(), AreaOverlayLayout::hintText());
        xdotool({"key", "r"});
        QTRY_COMPARE(state->annotation()->store->currentTool(), AnnotationTool::Rect);
        drag({450, 350}, {550, 420});
        QTRY_COMPARE(state->annotation()->store->annotations().size(), 1);
        // Return while a label is typed belongs to the label; the capture goes on.
        xdotool({"key", "t"});
        xdotool({"mousemove", "600", "460", "click", "1"});
        QTRY_VERIFY(state->annotation()->store->pendingTextLocation().has_value());
        xdotool({"type", "hi"});
        xdotool({"key", "Return"});
        // The key is handled in one go: once the label is in, a pin would have happened too.
        QTRY_COMPARE(state->annotation()->store->annotations().size(), 2);
        QVERIFY(m_events.isEmpty());
        QCOMPARE(state->annotation()->store->annotations().last().text, QStringLiteral("hi"));
        xdotool({"key", "Return"});
        QTRY_COMPARE(m_events, QStringList{"result 0"}); // pinned
        const QImage pinned = m_results.first().image;
        QCOMPARE(pinned.size(), QSize(300, 200));
        // The rectangle's outline is drawn in the crop's pixels, where it was drawn on screen.
        const QColor edge = pinned.pixelColor(50, 85);
        QVERIFY2(edge.red() > 180 && edge.green() < 100, qPrintable(edge.name()));
        QCOMPARE(pinned.pixel(5, 5), frame.pixel(405, 305));
    }

    void ctrlCPutsTheImageOnTheClipboardBeforeTheResult() {
        QGuiApplication::clipboard()->clear();
        annotateOnFirst();
        QImage onClipboard;
        m_coordinator->beginCapture(false, {}); // dropped: one is running
        QVERIFY(m_coordinator->isActive());
        // Read inside the completion: the image is there before the caller hears of it.
        xdotool({"key", "ctrl+c"});
        QTRY_COMPARE(m_results.size(), 1);
        QCOMPARE(m_results.first().kind, AreaCaptureResult::Kind::Copied);
        onClipboard = m_clipboardAtResult;
        QCOMPARE(onClipboard.size(), QSize(300, 200));
        QCOMPARE(onClipboard, m_results.first().image.convertToFormat(onClipboard.format()));
    }

    void savingAndTextRecognitionDismiss() {
        annotateOnFirst();
        xdotool({"key", "ctrl+s"});
        QTRY_COMPARE(m_events, QStringList{"result 2"}); // dismissed after "Saved"
        QCOMPARE(QImage(m_dir.filePath(QStringLiteral("Area.png"))).size(), QSize(300, 200));

        // Text mode: the overlays close on confirmation, the text is shown after.
        m_events.clear();
        begin(true);
        QTRY_VERIFY(shown(overlayOn(0)));
        drag({400, 300}, {700, 500});
        QTRY_COMPARE(m_events, (QStringList{"result 2", "recognising"}));
        QVERIFY(!m_coordinator->isActive());
        m_recognition->addResult(RecognitionResult{QStringLiteral("Invoice"), std::nullopt});
        m_recognition->finish();
        QTRY_COMPARE(m_events, (QStringList{"result 2", "recognising", "text Invoice"}));
    }
};

QTEST_MAIN(AreaCaptureCoordinatorTest)
#include "AreaCaptureCoordinatorTest.moc"
