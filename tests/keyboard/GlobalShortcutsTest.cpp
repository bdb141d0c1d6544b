#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include "keyboard/HotkeyBackend.h"
#include "keyboard/KeyCodeNames.h"
#include "keyboard/KeyPositions.h"
#include "keyboard/KeyboardLayout.h"
#include "keyboard/ShortcutManager.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

void run(const QString& program, const QStringList& arguments) {
    const auto result = test::runProcess(program, arguments, 10000);
    QVERIFY2(result.exitCode == 0, result.standardError.constData());
}

void press(const char* keys) {
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)});
}

} // namespace

// Global shortcuts on the real X server, pressed with xdotool, and key names in the layout
// the server has now.
class GlobalShortcutsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<HotkeyBackend> m_backend;
    QList<CaptureAction> m_started;

    SettingsStore settings() {
        return SettingsStore(std::make_shared<platform::IniKeyValueStore>(
            m_dir.filePath(QStringLiteral("ivra.conf"))));
    }
    // Presses `keys`, then a combination known to be registered, and waits for that one:
    // once it has arrived, `keys` has been handled too.
    void pressThenMark(const char* keys, ShortcutManager& manager, int& marks) {
        const int before = marks;
        manager.registerHotKey(
            {keypos::O, keymod::Command | keymod::Option | keymod::Shift}, 99,
            [&marks] { ++marks; }, QStringLiteral("Mark"));
        press(keys);
        press("ctrl+alt+shift+o");
        QTRY_COMPARE(marks, before + 1);
    }

private Q_SLOTS:
    void initTestCase() {
        m_backend = createHotkeyBackend();
        QVERIFY(m_backend);
    }
    void init() { m_started.clear(); }
    void cleanup() { run(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); }

    void theSettingsDecideWhichShortcutsFire() {
        ShortcutManager manager(*m_backend);
        SettingsStore store = settings();
        const auto start = [this](CaptureAction action) { m_started.append(action); };
        // A fresh installation: only the area capture, Ctrl+Shift+1.
        manager.applySettings(store, start);
        QVERIFY(manager.isRegistered(1) && !manager.isRegistered(2) && !manager.isRegistered(4));
        press("ctrl+shift+1");
        QTRY_COMPARE(m_started, QList<CaptureAction>{CaptureAction::Area});
        // Caps Lock or Num Lock on changes nothing.
        press("Num_Lock");
        press("ctrl+shift+1");
        press("Num_Lock");
        QTRY_COMPARE(m_started.size(), 2);

        // The window capture switched on, without a stored binding: Ctrl+Shift+2. Applying
        // twice leaves one registration each.
        store.setHotKeyEnabled(CaptureAction::Window, true);
        manager.applySettings(store, start);
        manager.applySettings(store, start);
        press("ctrl+shift+2");
        QTRY_COMPARE(m_started.last(), CaptureAction::Window);
        const int count = int(m_started.size());

        // Area off, OCR on Super+Alt+K; an unreadable stored binding means the default.
        store.setHotKeyEnabled(CaptureAction::Area, false);
        store.setHotKeyEnabled(CaptureAction::Ocr, true);
        store.setHotKeyData(CaptureAction::Ocr,
                            HotKeyBinding{40, keymod::Control | keymod::Option}.toJson());
        store.setHotKeyData(CaptureAction::Window, "not json");
        manager.applySettings(store, start);
        int marks = 0;
        pressThenMark("ctrl+shift+1", manager, marks); // off now
        QCOMPARE(m_started.size(), count);
        press("super+alt+k");
        QTRY_COMPARE(m_started.last(), CaptureAction::Ocr);
        press("ctrl+shift+2");
        QTRY_COMPARE(m_started.last(), CaptureAction::Window);
    }

    void aCombinationAnotherProgramHoldsIsRefused() {
        // Another client holds Ctrl+Alt+Shift+P first.
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        const quint8 keycode = quint8(*KeyPositions::toXkbKeycode(35));
        xcb_grab_key(other, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1,
                     keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));

        ShortcutManager manager(*m_backend);
        bool fired = false;
        const HotKeyBinding taken{35, keymod::Command | keymod::Option | keymod::Shift};
        manager.registerHotKey(
            taken, 7, [&fired] { fired = true; }, QStringLiteral("Taken"));
        QVERIFY(!manager.isRegistered(7));
        // Once the other program lets go, the same combination can be had; unregistered,
        // it no longer fires.
        xcb_disconnect(other);
        QTRY_VERIFY([&] {
            manager.registerHotKey(
                taken, 7, [&fired] { fired = true; }, QStringLiteral("Taken"));
            return manager.isRegistered(7);
        }());
        press("ctrl+alt+shift+p");
        QTRY_VERIFY(fired);
        fired = false;
        manager.unregisterHotKey(7);
        int marks = 0;
        pressThenMark("ctrl+alt+shift+p", manager, marks);
        QVERIFY(!fired);
    }

    void keysAreNamedInTheCurrentLayout() {
        const std::unique_ptr<KeyboardLayout> layout = createKeyboardLayout();
        QVERIFY(layout);
        const HotKeyBinding ocr{keypos::O, keymod::Command | keymod::Shift};
        QCOMPARE(KeyCodeNames::displayText(ocr, layout.get()), QStringLiteral("Ctrl+Shift+O"));
        QCOMPARE(KeyCodeNames::keyString(keypos::Digit1, layout.get()), QStringLiteral("1"));
        QCOMPARE(KeyCodeNames::keyString(keypos::Return, layout.get()), QStringLiteral("Return"));
        run(QStringLiteral("setxkbmap"), {QStringLiteral("ua")});
        QCOMPARE(KeyCodeNames::displayText(ocr, layout.get()), QStringLiteral("Ctrl+Shift+Щ"));
        QCOMPARE(KeyCodeNames::keyString(keypos::A, layout.get()), QStringLiteral("Ф"));
        // Back in the US layout the key is O again.
        run(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
        QCOMPARE(KeyCodeNames::keyString(keypos::O, layout.get()), QStringLiteral("O"));
    }
};

QTEST_MAIN(GlobalShortcutsTest)
#include "GlobalShortcutsTest.moc"
