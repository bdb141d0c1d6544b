#include <QKeyEvent>
#include <QSet>
#include <QTest>

#include "annotation/ToolShortcut.h"
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
