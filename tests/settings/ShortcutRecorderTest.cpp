#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include "keyboard/KeyPositions.h"
#include "settings/ui/ShortcutRecorder.h"

using namespace ivra;

class ShortcutRecorderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordsACombinationWithAModifier() {
        QWidget window;
        HotKeyBinding owned = HotKeyBinding::defaultFor(CaptureAction::Area);
        QList<HotKeyBinding> reported;
        ShortcutRecorderView view(
            owned,
            [&](const HotKeyBinding& binding) {
                QCOMPARE(owned, binding); // written into the owner's binding first
                reported.append(binding);
            },
            nullptr, &window);
        auto* elsewhere = new QLineEdit(&window);
        elsewhere->move(0, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        RecorderButton& button = view.button();
        QCOMPARE(button.size(), QSize(150, 28));
        QCOMPARE(button.text(), QStringLiteral("Ctrl+Shift+1"));

        QTest::mouseClick(&button, Qt::LeftButton);
        QVERIFY(button.isRecording() && button.hasFocus());
        QCOMPARE(button.text(), QStringLiteral("Press keys…"));
        // A key alone, and the modifiers on their own, are not shortcuts: still recording.
        QTest::keyClick(&button, Qt::Key_K);
        // (As X11 reports it: the left Alt key, code 64, before Alt is in the state.)
        QKeyEvent alt(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier, 64, 0, 0);
        QCoreApplication::sendEvent(&button, &alt);
        QVERIFY(button.isRecording() && reported.isEmpty());
        // Super and Alt with K, pressed in either order: stored and shown in one order.
        QTest::keyClick(&button, Qt::Key_K, Qt::AltModifier | Qt::MetaModifier);
        QVERIFY(!button.isRecording() && !button.hasFocus());
        QCOMPARE(reported, (QList<HotKeyBinding>{{40, 0x1800}}));
        QCOMPARE(button.text(), QStringLiteral("Super+Alt+K"));

        // Escape, with Shift too, ends recording and keeps the binding.
        for (const Qt::KeyboardModifiers modifiers :
             {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            QTest::mouseClick(&button, Qt::LeftButton);
            QTest::keyClick(&button, Qt::Key_Escape, modifiers);
            QVERIFY(!button.isRecording());
            QCOMPARE(button.text(), QStringLiteral("Super+Alt+K"));
        }
        // Leaving the button ends recording.
        QTest::mouseClick(&button, Qt::LeftButton);
        elsewhere->setFocus();
        QVERIFY(!button.isRecording());
        QCOMPARE(button.text(), QStringLiteral("Super+Alt+K"));
        QCOMPARE(reported.size(), 1);

        // The owner changed the binding: the view shows it again.
        owned = HotKeyBinding{355, keymod::Shift};
        view.refresh();
        QCOMPARE(button.text(), QStringLiteral("Shift+Print"));
    }
};

QTEST_MAIN(ShortcutRecorderTest)
#include "ShortcutRecorderTest.moc"
