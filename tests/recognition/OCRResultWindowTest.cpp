#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "recognition/ui/OCRResultView.h"
#include "recognition/ui/OCRResultWindow.h"

using namespace ivra;

class OCRResultWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyResultShowsPlaceholderOnly();
    void countsAndCopiesTheText_data();
    void countsAndCopiesTheText();
    void panelsCloseAndGiveWayToNewResults();

private:
    static QPushButton* copyButton(QWidget* panel) {
        return panel->findChild<QPushButton*>(QStringLiteral("OCRResultCopy"));
    }
    // The panel once it is the active window (keys go to it); nothing, which fails the
    // caller's check, when it never becomes active.
    static QWidget* shownPanel(OCRResultWindow& window) {
        QWidget* panel = window.panel();
        return panel && QTest::qWaitForWindowActive(panel) ? panel : nullptr;
    }
};

void OCRResultWindowTest::emptyResultShowsPlaceholderOnly() {
    OCRResultWindow window;
    window.show(QString());
    QWidget* panel = shownPanel(window);
    QVERIFY(panel && panel->isVisible());
    QCOMPARE(panel->windowTitle(), QStringLiteral("Recognized Text"));
    QCOMPARE(panel->size(), QSize(460, 340));
    QVERIFY(panel->windowFlags() & Qt::WindowStaysOnTopHint);

    const auto* text = panel->findChild<QPlainTextEdit*>();
    QVERIFY(text && text->isReadOnly());
    QCOMPARE(text->toPlainText(), QString());
    QCOMPARE(text->placeholderText(), QStringLiteral("No text found in the selection."));
    QVERIFY(!panel->findChild<QLabel*>(QStringLiteral("OCRResultCount")));
    QVERIFY(!copyButton(panel)->isEnabled());

    // Return must not put an empty text on the clipboard.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    QTest::keyClick(panel->focusWidget(), Qt::Key_Return);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    QCOMPARE(copyButton(panel)->text(), QStringLiteral("Copy"));
}

void OCRResultWindowTest::countsAndCopiesTheText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("ascii") << QStringLiteral("Save") << QStringLiteral("4 characters");
    QTest::newRow("two lines") << QStringLiteral("Open it\nВідкрити")
                               << QStringLiteral("16 characters");
    QTest::newRow("combining accent")
        << QStringLiteral("Cafe\u0301") << QStringLiteral("4 characters");
    QTest::newRow("emoji sequence")
        << QStringLiteral("ok \U0001F44D\U0001F3FD \U0001F469\u200D\U0001F4BB")
        << QStringLiteral("6 characters");
}

void OCRResultWindowTest::countsAndCopiesTheText() {
    QFETCH(QString, text);
    QFETCH(QString, caption);
    OCRResultWindow window;
    window.show(text);
    QWidget* panel = shownPanel(window);
    const auto* label = panel->findChild<QLabel*>(QStringLiteral("OCRResultCount"));
    QVERIFY(label);
    QCOMPARE(label->text(), caption);
    auto* textArea = panel->findChild<QPlainTextEdit*>();
    QCOMPARE(textArea->toPlainText(), text);

    // Return copies, and the button stays "Copied".
    QPushButton* copy = copyButton(panel);
    QVERIFY(copy->isEnabled() && copy->minimumWidth() >= 80);
    QCOMPARE(copy->text(), QStringLiteral("Copy"));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(panel->focusWidget(), Qt::Key_Return);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    QCOMPARE(copy->text(), QStringLiteral("Copied"));
    // Return works while the text itself has focus too.
    textArea->setFocus();
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    QTest::keyClick(textArea, Qt::Key_Return);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    QCOMPARE(copy->text(), QStringLiteral("Copied"));
    QVERIFY(panel->isVisible());
}

void OCRResultWindowTest::panelsCloseAndGiveWayToNewResults() {
    OCRResultWindow window;
    window.show(QStringLiteral("Escape me"));
    QWidget* panel = shownPanel(window);
    panel->findChild<QPlainTextEdit*>()->setFocus();
    QTest::keyClick(panel->focusWidget(), Qt::Key_Escape);
    QVERIFY(!panel->isVisible());
    window.show(QStringLiteral("Close me"));
    panel = shownPanel(window);
    QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("OCRResultClose")),
                      Qt::LeftButton);
    QVERIFY(!panel->isVisible());

    // A new result replaces a copied panel with a fresh one.
    window.show(QStringLiteral("first"));
    QPointer<QWidget> first = shownPanel(window);
    QTest::keyClick(first->focusWidget(), Qt::Key_Return);
    QCOMPARE(copyButton(first)->text(), QStringLiteral("Copied"));
    window.show(QStringLiteral("second"));
    QWidget* second = shownPanel(window);
    QVERIFY(second != first);
    QTRY_VERIFY(first.isNull());
    QCOMPARE(second->findChild<QPlainTextEdit*>()->toPlainText(), QStringLiteral("second"));
    QCOMPARE(copyButton(second)->text(), QStringLiteral("Copy"));

    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](QWidget* w) { return w->objectName() == "OCRResultPanel"; }),
             1);
}

QTEST_MAIN(OCRResultWindowTest)
#include "OCRResultWindowTest.moc"
