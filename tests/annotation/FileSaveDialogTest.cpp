#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "annotation/ui/FileSaveDialog.h"

using namespace ivra;

namespace {

// Acts on the save dialog once it is up: what a user would do in it.
void whenDialogOpens(std::function<void(QFileDialog&)> act) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            act(*dialog);
        } else {
            QTimer::singleShot(20, *poll);
        }
    };
    QTimer::singleShot(0, *poll);
}

} // namespace

class FileSaveDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void offersTheNameAndFormatAndAddsTheExtension();
    void cancellingGivesNothing();
};

void FileSaveDialogTest::offersTheNameAndFormatAndAddsTheExtension() {
    QTemporaryDir dir;
    FileSaveDialog saveDialog(nullptr, dir.path());
    QString offeredName;
    QStringList filters;
    whenDialogOpens([&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        auto* nameEdit = dialog.findChild<QLineEdit*>("fileNameEdit");
        offeredName = nameEdit->text();
        nameEdit->setText("renamed");
        QTest::keyClick(nameEdit, Qt::Key_Return);
    });
    const auto path =
        saveDialog.askForPath("Screenshot 2026-12-05 09.07.03.jpg", ExportFormat::Jpeg);
    QCOMPARE(offeredName, QString("Screenshot 2026-12-05 09.07.03.jpg"));
    QCOMPARE(filters, QStringList{"JPEG image (*.jpg *.jpeg)"});
    QVERIFY(path);
    QCOMPARE(*path, QDir(dir.path()).filePath("renamed.jpg"));
}

void FileSaveDialogTest::cancellingGivesNothing() {
    QTemporaryDir dir;
    FileSaveDialog saveDialog(nullptr, dir.path());
    QStringList filters;
    whenDialogOpens([&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        dialog.reject();
    });
    QCOMPARE(saveDialog.askForPath("x.png", ExportFormat::Png), std::nullopt);
    QCOMPARE(filters, QStringList{"PNG image (*.png)"});
}

QTEST_MAIN(FileSaveDialogTest)
#include "FileSaveDialogTest.moc"
