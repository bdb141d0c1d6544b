#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "IvraConfig.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/DesktopSettingsPageOpener.h"
#include "app/ui/PermissionsManager.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

// Stands in for the desktop's settings program, which a headless machine does not have.
class RecordingOpener : public SettingsPageOpener {
public:
    int calls = 0;
    bool openScreenRecordingSettings() override {
        ++calls;
        return true;
    }
};

QString labelText(const QWidget& dialog, const QString& name) {
    const auto* label = dialog.findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

} // namespace

class ShellDialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aboutShowsNameVersionAndCreditsOnce() {
        QApplication::setApplicationDisplayName(QStringLiteral("Ivra"));
        QCoreApplication::setApplicationVersion(QString());
        AboutDialog* about = AboutDialog::present();
        QVERIFY(about->isVisible());
        QCOMPARE(labelText(*about, "name"), QStringLiteral("Ivra"));
        QCOMPARE(labelText(*about, "version"), QStringLiteral("Version " IVRA_VERSION));
        QCOMPARE(labelText(*about, "credits"),
                 QStringLiteral("Screenshots that wait for you — annotate, copy, pin."));
        QCOMPARE(about->findChild<QLabel*>("credits")->font().pointSize(), 11);
        QVERIFY(!about->findChild<QLabel*>("icon")->pixmap().isNull());

        // A second request brings back the same dialog.
        QCOMPARE(AboutDialog::present(), about);
        QPointer<AboutDialog> closed = about;
        about->close();
        QTRY_VERIFY(closed.isNull());

        QCoreApplication::setApplicationVersion(QStringLiteral("2.5.1"));
        AboutDialog* again = AboutDialog::present();
        QCOMPARE(labelText(*again, "version"), QStringLiteral("Version 2.5.1"));
        again->close();
    }

    void alertOpensTheSettingsAfterItsButton() {
        auto opener = std::make_shared<RecordingOpener>();
        const PermissionsManager permissions(opener);
        QString message;
        QString informative;
        QStringList buttons;
        int callsWhileShown = -1;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            message = box->text();
            informative = box->informativeText();
            for (const QAbstractButton* button : box->buttons()) {
                buttons << button->text();
            }
            callsWhileShown = opener->calls;
            QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        });
        permissions.showScreenRecordingAlert();
        QCOMPARE(message, QStringLiteral("Screen Recording Access Needed"));
        QCOMPARE(informative, QStringLiteral("Ivra needs Screen Recording permission to capture "
                                             "your screen. Enable Ivra under your desktop's "
                                             "privacy settings."));
        QCOMPARE(buttons, QStringList{"Open System Settings"});
        QCOMPARE(callsWhileShown, 0);
        QCOMPARE(opener->calls, 1);
    }

    void desktopOpenerStartsTheDesktopsSettings() {
        // A settings program on PATH that writes down how it was started.
        QTemporaryDir bin;
        const QString log = bin.filePath("started");
        const QString script = bin.filePath("gnome-control-center");
        // Only shell built-ins: PATH holds nothing else while it runs.
        QVERIFY(test::writeFile(
            script, QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(log).toUtf8()));
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const auto restorePath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", bin.path().toUtf8());

        DesktopSettingsPageOpener gnome(QStringLiteral("ubuntu:GNOME"));
        QVERIFY(gnome.openScreenRecordingSettings());
        QTRY_COMPARE(test::readFile(log), QByteArray("privacy\n"));
        // A desktop whose settings program is missing, or one Ivra does not know, gets nothing.
        QVERIFY(!DesktopSettingsPageOpener(QStringLiteral("KDE")).openScreenRecordingSettings());
        QVERIFY(!DesktopSettingsPageOpener(QStringLiteral("sway")).command());
        QVERIFY(!DesktopSettingsPageOpener(QString()).command());
    }
};

QTEST_MAIN(ShellDialogsTest)
#include "ShellDialogsTest.moc"
