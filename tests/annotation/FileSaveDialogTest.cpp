#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "annotation/ui/FileSaveDialog.h"

using namespace ivra;

class FileSaveDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void offersTheNameAndOneFormatAndAddsItsExtension();
};

void FileSaveDialogTest::offersTheNameAndOneFormatAndAddsItsExtension() {
    QTemporaryDir dir;
    FileSaveDialog saveDialog(nullptr, dir.path());
    QString offeredName;
    QStringList filters;
    bool confirm = true;
    // What a user does once the dialog is up: read it, then rename and press Return, or
    // cancel.
    std::function<void()> act = [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(20, act);
            return;
        }
        filters = dialog->nameFilters();
        auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit");
        offeredName = nameEdit->text();
        if (confirm) {
            nameEdit->setText("renamed");
            QTest::keyClick(nameEdit, Qt::Key_Return);
        } else {
            QTest::keyClick(nameEdit, Qt::Key_Escape);
        }
    };

    QTimer::singleShot(0, act);
    const auto path =
        saveDialog.askForPath("Screenshot 2026-12-05 09.07.03.jpg", ExportFormat::Jpeg);
    QCOMPARE(offeredName, QString("Screenshot 2026-12-05 09.07.03.jpg"));
    QCOMPARE(filters, QStringList{"JPEG image (*.jpg *.jpeg)"});
    QCOMPARE(path, std::optional(QDir(dir.path()).filePath("renamed.jpg")));

    confirm = false;
    QTimer::singleShot(0, act);
    QCOMPARE(saveDialog.askForPath("x.png", ExportFormat::Png), std::nullopt);
    QCOMPARE(filters, QStringList{"PNG image (*.png)"});
}

QTEST_MAIN(FileSaveDialogTest)
#include "FileSaveDialogTest.moc"
