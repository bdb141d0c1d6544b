#include <QKeyEvent>
#include <QSet>
#include <QTest>

#include "annotation/ToolShortcut.h"
#include "keyboard/HotKeyBinding.h"
#include "keyboard/KeyCodeNames.h"
#include "keyboard/KeyPositions.h"

using namespace ivra;

class KeyPositionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tableIsOneToOneBothWays() {
        QSet<quint16> positions;
        QSet<quint16> codes;
        for (const KeyPosition& key : KeyPositions::all()) {
            QVERIFY2(!positions.contains(key.position), key.name);
            QVERIFY2(!codes.contains(key.evdev), key.name);
            positions.insert(key.position);
            codes.insert(key.evdev);
            QCOMPARE(KeyPositions::fromEvdev(key.evdev), std::optional(key.position));
            QCOMPARE(KeyPositions::toXkbKeycode(key.position), std::optional(key.evdev + 8u));
        }
        // Positions from the application's own tables and their X11 key codes.
        QCOMPARE(KeyPositions::fromXkbKeycode(38), std::optional<quint16>(keypos::A));
        QCOMPARE(KeyPositions::fromXkbKeycode(32), std::optional<quint16>(keypos::O));
        QCOMPARE(KeyPositions::fromXkbKeycode(36), std::optional<quint16>(keypos::Return));
        QCOMPARE(KeyPositions::fromXkbKeycode(9), std::optional<quint16>(keypos::Escape));
        QCOMPARE(KeyPositions::fromXkbKeycode(10), std::optional<quint16>(keypos::Digit1));
        QCOMPARE(KeyPositions::fromXkbKeycode(107), std::optional<quint16>(355)); // Print
        QCOMPARE(KeyPositions::fromXkbKeycode(7), std::nullopt);
        QCOMPARE(KeyPositions::fromXkbKeycode(255), std::nullopt);
        // Every tool key exists on the keyboard.
        for (const quint16 position : ToolShortcut::keyCodeMap().keys()) {
            QVERIFY(KeyPositions::find(position));
        }
    }

    void bindingsAreStoredAsJsonAndShownTheLinuxWay() {
        const HotKeyBinding area = HotKeyBinding::defaultFor(CaptureAction::Area);
        QCOMPARE(area.toJson(), QByteArray(R"({"keyCode":18,"modifiers":768})"));
        QCOMPARE(HotKeyBinding::fromJson(area.toJson()), std::optional(area));
        for (const QByteArray& bad :
             {QByteArray("{\"keyCode\":18}"), QByteArray("{\"keyCode\":-1,\"modifiers\":0}"),
              QByteArray("{\"keyCode\":1.5,\"modifiers\":0}"), QByteArray("[18,768]"),
              QByteArray("{\"keyCode\":\"18\",\"modifiers\":768}"), QByteArray("garbage")}) {
            QCOMPARE(HotKeyBinding::fromJson(bad), std::nullopt);
        }
        QCOMPARE(HotKeyBinding::identifier(CaptureAction::Area), 1u);
        QCOMPARE(HotKeyBinding::identifier(CaptureAction::Ocr), 4u);
        QCOMPARE(HotKeyBinding::defaultFor(CaptureAction::FullScreen).keyCode, 26u); // the 7 key

        // Without a layout to ask (Wayland), keys show their US legends.
        QCOMPARE(KeyCodeNames::displayText(area, nullptr), QStringLiteral("Ctrl+Shift+1"));
        // Modifiers in one order whatever was pressed first: Super, Ctrl, Alt, Shift.
        QCOMPARE(KeyCodeNames::modifierString(keymod::Option | keymod::Control),
                 QStringLiteral("Super+Alt+"));
        QCOMPARE(KeyCodeNames::modifierString(0x1f00), QStringLiteral("Super+Ctrl+Alt+Shift+"));
        QCOMPARE(KeyCodeNames::modifierString(0), QString());
        QCOMPARE(KeyCodeNames::keyString(36, nullptr), QStringLiteral("Return"));
        QCOMPARE(KeyCodeNames::keyString(53, nullptr), QStringLiteral("Esc"));
        QCOMPARE(KeyCodeNames::keyString(80, nullptr), QStringLiteral("F19"));
        QCOMPARE(KeyCodeNames::keyString(355, nullptr), QStringLiteral("Print"));
        QCOMPARE(KeyCodeNames::keyString(93, nullptr), QStringLiteral("key 93"));
        QCOMPARE(KeyCodeNames::keyString(0x10000 + 31, nullptr), QStringLiteral("key 65567"));
    }

    void eventsWithoutKeyCodesUseTheUsLayout() {
        QCOMPARE(KeyPositions::fromQtKey(Qt::Key_P), std::optional<quint16>(35));
        QCOMPARE(KeyPositions::fromQtKey(Qt::Key_1), std::optional<quint16>(keypos::Digit1));
        QCOMPARE(KeyPositions::fromQtKey(Qt::Key_F5), std::optional<quint16>(96));
        QCOMPARE(KeyPositions::fromQtKey(Qt::Key_Escape), std::optional<quint16>(keypos::Escape));
        QCOMPARE(KeyPositions::fromQtKey(Qt::Key_Enter), std::optional<quint16>(76));
        QCOMPARE(KeyPositions::fromQtKey(Qt::Key(0x0429)), std::nullopt);
        // A key code wins over the key: the Ukrainian layout's Щ is on the O key (32).
        const QKeyEvent shcha(QEvent::KeyPress, Qt::Key(0x0429), Qt::NoModifier, 32, 0, 0,
                              QStringLiteral("щ"));
        QCOMPARE(KeyPositions::fromKeyEvent(shcha), std::optional<quint16>(keypos::O));
        const QKeyEvent synthetic(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(KeyPositions::fromKeyEvent(synthetic), std::optional<quint16>(keypos::C));
    }
};

QTEST_GUILESS_MAIN(KeyPositionsTest)
#include "KeyPositionsTest.moc"
