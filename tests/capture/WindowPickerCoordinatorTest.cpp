#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include "capture/OverlayKeyboard.h"
#include "capture/WindowPickerState.h"
#include "capture/ui/WindowPickerCoordinator.h"
#include "capture/ui/WindowPickerWindow.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/ForeignWindow.h"
#include "support/TestSupport.h"
#include "support/Xdotool.h"

using namespace ivra;

namespace {

using test::xdotool;

} // namespace

// The window picker on the real two-monitor X server with a window manager: real windows,
// the real pointer and keys.
class WindowPickerCoordinatorTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_settings{
        std::make_shared<platform::IniKeyValueStore>(m_dir.filePath(QStringLiteral("ivra.conf")))};
    std::unique_ptr<ScreenCaptureBackend> m_backend = platform::X11ScreenCaptureBackend::create();
    std::unique_ptr<OverlayKeyboard> m_keyboard;
    std::unique_ptr<WindowPickerCoordinator> m_picker;
    QList<std::optional<QImage>> m_results;

    void begin() {
        m_picker->beginPicking([this](std::optional<QImage> image) { m_results.append(image); });
    }
    // The windows a pick would offer now (the X11 backend answers at once).
    qsizetype pickableCount() {
        qsizetype count = -1;
        m_backend->shareableContent(true, true, [&](CaptureResult<ShareableContent> content) {
            if (content) {
                count = WindowPickerState::pickable(content.value().windows,
                                                    QCoreApplication::applicationPid(),
                                                    QStringLiteral("ivra"))
                            .size();
            }
        });
        return count;
    }
    bool overlaysShown() {
        const auto windows = m_picker->windows();
        return windows.size() == 2 && std::all_of(windows.begin(), windows.end(), [](auto* w) {
                   return w->isVisible() && w->windowHandle()->isExposed();
               });
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_backend);
        m_keyboard = createOverlayKeyboard();
        m_picker = std::make_unique<WindowPickerCoordinator>(WindowPickerCoordinator::Services{
            *m_backend, m_settings, *m_keyboard, QCoreApplication::applicationPid(),
            QStringLiteral("ivra")});
    }
    void init() { m_results.clear(); }

    void aClickCapturesTheWindowUnderThePointerAlone() {
        test::ForeignWindow other(QRect(300, 200, 400, 300), true, 0x00c05030);
        // One of our own windows: never offered.
        QWidget own;
        own.resize(300, 300);
        own.show();
        QVERIFY(QTest::qWaitForWindowExposed(&own));
        QTRY_VERIFY(pickableCount() == 1); // the window manager lists it

        begin();
        QVERIFY(m_picker->isActive());
        QTRY_VERIFY(overlaysShown());
        WindowPickerWindow* first = m_picker->windows().first();
        // Only the other program's window is offered (the window manager placed it).
        QCOMPARE(first->state()->candidates().size(), 1);
        const QRectF frame = first->state()->candidates().first().window.frame;
        QVERIFY(frame.width() >= 400 && frame.height() >= 300);
        const QPoint ownCentre = own.frameGeometry().center();
        xdotool({"mousemove", QString::number(ownCentre.x()), QString::number(ownCentre.y())});
        QTRY_VERIFY(!first->state()->highlightedRect());
        xdotool({"mousemove", QString::number(int(frame.center().x())),
                 QString::number(int(frame.center().y()))});
        QTRY_VERIFY(first->state()->highlightedRect().has_value());
        // The highlight is the window with its frame, where it is on screen.
        const QRectF highlight = *first->state()->highlightedViewRect();
        QCOMPARE(highlight, frame);
        xdotool({"click", "1"});
        QTRY_COMPARE(m_results.size(), 1);
        QVERIFY(m_results.first().has_value());
        const QImage image = *m_results.first();
        QCOMPARE(image.size(), highlight.size().toSize());
        // The window's own colour, not the darkened overlay's picture of it.
        const QPoint inside = (highlight.center() - highlight.topLeft()).toPoint();
        QCOMPARE(image.pixelColor(inside), QColor(0xc0, 0x50, 0x30));
        QVERIFY(m_picker->windows().isEmpty() && !m_picker->isActive());
    }

    void escapeOnAnyDisplayCancels() {
        test::ForeignWindow other(QRect(300, 200, 400, 300), true, 0x00c05030);
        QTRY_VERIFY(pickableCount() == 1);
        begin();
        QTRY_VERIFY(overlaysShown());
        const QRect second = QGuiApplication::screens().at(1)->geometry();
        xdotool({"mousemove", QString::number(second.center().x()),
                 QString::number(second.center().y()), "click", "1"}); // nothing there
        xdotool({"key", "Escape"});
        QTRY_COMPARE(m_results.size(), 1);
        QVERIFY(!m_results.first().has_value());
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<WindowPickerWindow*>(widget)) {
                QVERIFY(!widget->isVisible());
            }
        }
        // A second request while one runs is dropped.
        begin();
        bool secondCalled = false;
        m_picker->beginPicking([&](std::optional<QImage>) { secondCalled = true; });
        QTRY_VERIFY(overlaysShown());
        xdotool({"key", "Escape"});
        QTRY_COMPARE(m_results.size(), 2);
        QVERIFY(!secondCalled);
    }
};

QTEST_MAIN(WindowPickerCoordinatorTest)
#include "WindowPickerCoordinatorTest.moc"
