#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "editor/BackgroundRemover.h"
#include "editor/ui/EditorCoordinator.h"
#include "editor/ui/EditorView.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

using namespace ivra;

// On the two-monitor desktop an editor opens centred on the monitor under the pointer.
class EditorPlacementTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensOnTheMonitorUnderThePointer() {
        const QList<QScreen*> screens = QGuiApplication::screens();
        QCOMPARE(screens.size(), 2);
        QTemporaryDir dir;
        SettingsStore settings(
            std::make_shared<platform::IniKeyValueStore>(dir.filePath(QStringLiteral("i.conf"))));
        EditorCoordinator coordinator(
            {settings, std::make_shared<UnavailableBackgroundRemover>(), {}});
        QImage image(800, 500, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        for (QScreen* screen : {screens.at(1), screens.at(0)}) {
            QCursor::setPos(screen->geometry().center());
            QTRY_COMPARE(QGuiApplication::screenAt(QCursor::pos()), screen);
            EditorView* view = coordinator.open(image);
            QVERIFY(QTest::qWaitForWindowExposed(view));
            const QPoint centre = view->frameGeometry().center();
            QVERIFY2(screen->availableGeometry().contains(centre),
                     qPrintable(QStringLiteral("%1,%2 on %3")
                                    .arg(centre.x())
                                    .arg(centre.y())
                                    .arg(screen->name())));
            QVERIFY(std::abs(centre.x() - screen->availableGeometry().center().x()) < 40);
            view->close();
        }
    }
};

QTEST_MAIN(EditorPlacementTest)
#include "EditorPlacementTest.moc"
