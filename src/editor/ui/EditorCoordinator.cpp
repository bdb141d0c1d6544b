#include "editor/ui/EditorCoordinator.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "annotation/ui/FileSaveDialog.h"
#include "imageio/ImageCodec.h"
#include "presentation/ui/Appearance.h"
#include "segmentation/SubjectBackgroundRemover.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

QScreen* screenInUse() {
    if (QScreen* underPointer = QGuiApplication::screenAt(QCursor::pos())) {
        return underPointer;
    }
    return QGuiApplication::primaryScreen();
}

} // namespace

EditorCoordinator::EditorCoordinator(EditorServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services)) {
}

EditorCoordinator& EditorCoordinator::shared() {
    static EditorCoordinator coordinator(EditorServices{
        SettingsStore::shared(),
        segmentation::SubjectBackgroundRemover::shared(),
        [](QWidget* window) { return std::make_unique<FileSaveDialog>(window); },
    });
    return coordinator;
}

std::optional<ScreenMetrics> EditorCoordinator::currentScreenMetrics() {
    const QScreen* screen = screenInUse();
    if (!screen) {
        return std::nullopt;
    }
    return ScreenMetrics{screen->devicePixelRatio(), screen->availableGeometry().size()};
}

QString EditorCoordinator::windowTitle(QSize imageSizePx) {
    return tr("Screenshot %1×%2").arg(imageSizePx.width()).arg(imageSizePx.height());
}

EditorView* EditorCoordinator::open(const QImage& image) {
    if (image.isNull()) {
        return nullptr;
    }
    const QSizeF displaySize = editorDisplaySize(image.size(), currentScreenMetrics());
    auto* window = new EditorView(image, displaySize, m_services);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window->setWindowTitle(windowTitle(image.size()));
    WindowPolicy::apply(*window);
    window->adjustSize();

    if (const QScreen* screen = screenInUse()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }

    m_windows.append(window);
    connect(window, &QObject::destroyed, this, [this] {
        m_windows.removeIf([](const QPointer<EditorView>& entry) { return entry.isNull(); });
    });

    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

bool EditorCoordinator::openFile(const QString& path, QString* error) {
    QString problem;
    const QImage image = imageio::readImageFile(path, &problem);
    if (image.isNull()) {
        if (error) {
            *error = QStringLiteral("cannot open \"%1\" in the editor: %2").arg(path, problem);
        }
        return false;
    }
    open(image);
    return true;
}

QList<EditorView*> EditorCoordinator::openWindows() const {
    QList<EditorView*> windows;
    for (const QPointer<EditorView>& window : m_windows) {
        if (window) {
            windows.append(window.data());
        }
    }
    return windows;
}

} // namespace ivra
