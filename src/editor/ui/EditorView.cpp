#include "editor/ui/EditorView.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QPointer>
#include <QTimeZone>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationStore.h"
#include "annotation/ExportService.h"
#include "annotation/SaveDialog.h"
#include "annotation/ToolShortcut.h"
#include "editor/BackgroundRemover.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "editor/ui/AnnotationToolbar.h"
#include "editor/ui/Toast.h"
#include "keyboard/KeyPositions.h"
#include "presentation/Theme.h"
#include "presentation/ui/Appearance.h"
#include "recognition/ui/OCRResultWindow.h"
#include "services/ClipboardService.h"
#include "settings/SettingsStore.h"

namespace ivra {

EditorView::EditorView(const QImage& image, QSizeF displaySize, EditorServices services,
                       QWidget* parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_store(new AnnotationStore(this)) {
    setPalette(darkPalette());
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    AnnotationToolbarActions actions;
    actions.onCopy = [this] { copy(); };
    actions.onSave = [this] { saveAs(); };
    actions.onOCR = [this] { recognizeText(); };
    actions.onRemoveBackground = [this] { removeBackground(); };
    m_toolbar = new AnnotationToolbar(*m_store, std::move(actions), this);

    m_canvas = new AnnotationCanvasView(image, *m_store, displaySize, false, this);
    m_canvas->setFrame(kCanvasCornerRadiusPt, theme::kBorder.lighter(150),
                       palette().color(QPalette::Window));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPaddingPt, kPaddingPt, kPaddingPt, kPaddingPt);
    layout->setSpacing(kSpacingPt);
    // The window takes the content's natural size and keeps it.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_toolbar, 0, Qt::AlignHCenter);
    layout->addWidget(m_canvas, 0, Qt::AlignHCenter);

    m_toast = new Toast(this);

    // Keys come back here once a label stops being edited.
    connect(m_store, &AnnotationStore::pendingTextLocationChanged, this, [this] {
        if (!m_store->pendingTextLocation()) {
            setFocus(Qt::OtherFocusReason);
        }
    });
    connect(&m_recognition, &QFutureWatcher<RecognitionResult>::finished, this, [this] {
        m_recognizing = false;
        const RecognitionResult result = m_recognition.result();
        const QString text = result.ok() ? result.text : QString();
        OCRResultWindow::shared().show(text);
        emit textRecognized(text);
    });
    connect(&m_cutout, &QFutureWatcher<std::optional<QImage>>::finished, this, [this] {
        m_removingBackground = false;
        finishBackgroundRemoval(m_cutout.result());
    });
}

EditorView::~EditorView() = default;

const QImage& EditorView::baseImage() const {
    return m_canvas->baseImage();
}

QString EditorView::toast() const {
    return m_toast->message();
}

QImage EditorView::flattenedImage() const {
    QImage flat = AnnotationExporter::composite(m_canvas->baseImage(), m_store->annotations());
    // One image pixel per pixel, whatever the screen the window is on.
    flat.setDevicePixelRatio(1);
    return flat;
}

void EditorView::copy() {
    ClipboardService::copy(flattenedImage());
    showToast(tr("Copied"));
}

void EditorView::saveAs() {
    SettingsStore& settings = m_services.settings;
    const QString suggestedName = ExportService::renderTemplate(
        settings.filenameTemplate(), QDateTime::currentDateTime(), QString(),
        QTimeZone::systemTimeZone(), ExportService::fileExtension(settings.exportFormat()));
    const QImage image = flattenedImage();

    if (!m_saveDialog && m_services.makeSaveDialog) {
        m_saveDialog = m_services.makeSaveDialog(window());
    }
    const ExportService exporter(settings, m_saveDialog.get());
    exporter.save(image, suggestedName, /*useSaveDialog=*/true,
                  [self = QPointer<EditorView>(this)](bool saved) {
                      if (!self) {
                          return;
                      }
                      // A cancelled dialog or a failed write says nothing.
                      if (saved) {
                          self->showToast(tr("Saved"));
                      }
                      emit self->saveFinished(saved);
                  });
}

void EditorView::recognizeText() {
    // One recognition at a time: a held-down "o" must not queue up dozens.
    // The watcher reports "not running" as soon as the work ends, before the result is
    // handed back here, so the flag covers the whole round trip.
    if (m_recognizing) {
        return;
    }
    m_recognizing = true;
    // The image as captured, without the marks drawn over it.
    m_recognition.setFuture(OCRService::recognizeText(m_canvas->baseImage()));
}

void EditorView::removeBackground() {
    if (m_removingBackground) {
        return;
    }
    m_removingBackground = true;
    showToast(tr("Removing background…"));
    const std::shared_ptr<const BackgroundRemover> remover = m_services.backgroundRemover;
    const QImage image = m_canvas->baseImage();
    m_cutout.setFuture(QtConcurrent::run([remover, image]() -> std::optional<QImage> {
        return remover ? remover->cutout(image) : std::nullopt;
    }));
}

void EditorView::finishBackgroundRemoval(const std::optional<QImage>& cutout) {
    // A result of another size would shift every mark placed in image pixels.
    const bool usable =
        cutout && !cutout->isNull() && cutout->size() == m_canvas->baseImage().size();
    if (usable) {
        m_canvas->setBaseImage(*cutout);
        m_canvas->setShowsCheckerboard(true);
        m_backgroundRemoved = true;
        showToast(tr("Background removed"));
    } else {
        showToast(tr("No subject to lift — works on photos, not flat UI"));
    }
    emit backgroundRemovalFinished(usable);
}

void EditorView::showToast(const QString& message) {
    m_toast->showMessage(message);
}

void EditorView::keyPressEvent(QKeyEvent* event) {
    if (m_store->pendingTextLocation()) {
        // The label field has the keys; Escape reaching here abandons the label.
        if (event->key() == Qt::Key_Escape) {
            m_store->setPendingTextLocation(std::nullopt);
            event->accept();
            return;
        }
        event->ignore();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        event->ignore();
        return;
    }
    // Tool letters and O by key position, whatever the layout puts on the key.
    const std::optional<quint16> position = KeyPositions::fromKeyEvent(*event);
    if (const auto tool = position ? ToolShortcut::forKeyCode(*position) : std::nullopt) {
        m_store->setCurrentTool(*tool);
        event->accept();
        return;
    }
    if (position == keypos::O) {
        recognizeText();
        event->accept();
        return;
    }
    event->ignore();
}

void EditorView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        setFocus(Qt::OtherFocusReason);
    }
}

} // namespace ivra
