#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "annotation/SaveDialog.h"
#include "editor/BackgroundRemover.h"
#include "editor/ui/EditorView.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

void run(const QString& program, const QStringList& arguments) {
    const auto result = test::runProcess(program, arguments, 10000);
    QVERIFY2(result.exitCode == 0, result.standardError.constData());
}

} // namespace

// The editor on the real X server with only the Ukrainian layout active (no Latin layout to
// fall back on): its keys work by position, as typed with xdotool.
class EditorKeyboardLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { run(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); }

    void keysWorkInAUkrainianOnlyLayout() {
        QTemporaryDir dir;
        SettingsStore settings(
            std::make_shared<platform::IniKeyValueStore>(dir.filePath(QStringLiteral("i.conf"))));
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::white);
        EditorView view(image, QSizeF(400, 300),
                        {settings, std::make_shared<UnavailableBackgroundRemover>(), {}});
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        run(QStringLiteral("setxkbmap"), {QStringLiteral("ua")});
        QTest::qWait(200); // Qt reads the new keymap

        const auto key = [](const char* keys) { run(QStringLiteral("xdotool"), {"key", keys}); };
        // The R key is к here: the rectangle tool.
        key("Cyrillic_ka");
        QTRY_COMPARE(view.store().currentTool(), AnnotationTool::Rect);
        view.store().append(Annotation::makeDrawn(AnnotationTool::Rect, {10, 10}, {90, 90},
                                                  kDefaultAnnotationColor, 3, 1));
        // Ctrl with the C key (с): copied.
        QGuiApplication::clipboard()->clear();
        key("ctrl+Cyrillic_es");
        QTRY_COMPARE(view.toast(), QStringLiteral("Copied"));
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png")));
        // Ctrl with the Z key (я): undone.
        key("ctrl+Cyrillic_ya");
        QTRY_VERIFY(view.store().annotations().isEmpty());
    }
};

QTEST_MAIN(EditorKeyboardLayoutTest)
#include "EditorKeyboardLayoutTest.moc"
