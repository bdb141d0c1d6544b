#include "capture/AreaSelectionState.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QTimeZone>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationStore.h"
#include "annotation/ExportService.h"
#include "annotation/RenderCache.h"
#include "annotation/ToolShortcut.h"
#include "editor/BackgroundRemover.h"
#include "keyboard/KeyPositions.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

// Pixel edges computed from point values carry rounding noise (0.1 * 3 is not 0.3); an
// edge this close to a whole pixel counts as on it.
constexpr double kPixelEdgeTolerance = 1e-6;

bool inSet(ResizeHandle handle, std::initializer_list<ResizeHandle> set) {
    return std::find(set.begin(), set.end(), handle) != set.end();
}

} // namespace

QPointF resizeHandlePosition(ResizeHandle handle, const QRectF& r) {
    switch (handle) {
    case ResizeHandle::TopLeft:
        return {r.left(), r.top()};
    case ResizeHandle::Top:
        return {r.center().x(), r.top()};
    case ResizeHandle::TopRight:
        return {r.right(), r.top()};
    case ResizeHandle::Right:
        return {r.right(), r.center().y()};
    case ResizeHandle::BottomRight:
        return {r.right(), r.bottom()};
    case ResizeHandle::Bottom:
        return {r.center().x(), r.bottom()};
    case ResizeHandle::BottomLeft:
        return {r.left(), r.bottom()};
    case ResizeHandle::Left:
        return {r.left(), r.center().y()};
    }
    return r.center();
}

AreaSelectionState::AreaSelectionState(QImage frozenFrame, QSizeF viewSize, double pixelScale,
                                       std::function<void()> onCancel,
                                       std::function<void(QImage)> onCopy,
                                       std::function<void(QImage)> onDone,
                                       std::function<void()> onDismiss, Services services,
                                       QObject* parent)
    : QObject(parent)
    , m_frozenFrame(std::move(frozenFrame))
    , m_viewSize(viewSize)
    , m_pixelScale(pixelScale)
    , m_onCancel(std::move(onCancel))
    , m_onCopy(std::move(onCopy))
    , m_onDone(std::move(onDone))
    , m_onDismiss(std::move(onDismiss))
    , m_services(std::move(services)) {
}

AreaSelectionState::~AreaSelectionState() = default;

// Spaces -------------------------------------------------------------------------------

QPointF AreaSelectionState::selectionPoint(QPointF viewPoint) const {
    return {viewPoint.x(), m_viewSize.height() - viewPoint.y()};
}

QPointF AreaSelectionState::viewPoint(QPointF selectionPoint) const {
    return {selectionPoint.x(), m_viewSize.height() - selectionPoint.y()};
}

QRectF AreaSelectionState::viewRect(const QRectF& r) const {
    return {r.left(), m_viewSize.height() - (r.top() + r.height()), r.width(), r.height()};
}

QRectF AreaSelectionState::pixelRect(const QRectF& r) const {
    const double s = m_pixelScale;
    return {r.left() * s, (m_viewSize.height() - (r.top() + r.height())) * s, r.width() * s,
            r.height() * s};
}

// Drawing the selection ----------------------------------------------------------------

std::optional<QRectF> AreaSelectionState::currentSelectionRect() const {
    if (!m_dragStart || !m_dragCurrent) {
        return std::nullopt;
    }
    const QPointF s = *m_dragStart;
    const QPointF c = *m_dragCurrent;
    const QPointF o = m_resizeFromCenter ? s - (c - s) : s;
    const double x = std::min(c.x(), o.x());
    const double y = std::min(c.y(), o.y());
    double w = std::abs(c.x() - o.x());
    double h = std::abs(c.y() - o.y());
    if (m_lockAspectRatio) {
        w = h = std::max(w, h);
    }
    const QRectF rect(x, y, w, h);
    const QRectF display(QPointF(0, 0), m_viewSize);
    // QRectF::intersected gives an empty rectangle for disjoint ones; keep a zero size at
    // the clipped position rather than a null rectangle at the origin.
    const double left = std::max(rect.left(), display.left());
    const double bottom = std::max(rect.top(), display.top());
    const double right = std::min(rect.right(), display.right());
    const double top = std::min(rect.bottom(), display.bottom());
    if (right < left || top < bottom) {
        return QRectF(left, bottom, 0, 0);
    }
    return QRectF(left, bottom, right - left, top - bottom);
}

void AreaSelectionState::setDrag(std::optional<QPointF> start, std::optional<QPointF> current) {
    if (start == m_dragStart && current == m_dragCurrent) {
        return;
    }
    m_dragStart = start;
    m_dragCurrent = current;
    emit dragChanged();
}

void AreaSelectionState::selectionDragChanged(QPointF viewLocation) {
    if (m_phase != Phase::Selecting || m_isFinished) {
        return;
    }
    const QPointF p = selectionPoint(viewLocation);
    if (!m_dragStart) {
        setDrag(p, p);
        return;
    }
    setDrag(m_dragStart, p);
    if (m_mouseLocation != p) {
        m_mouseLocation = p;
        emit mouseLocationChanged();
    }
}

void AreaSelectionState::selectionDragEnded() {
    enterAnnotationPhase();
}

void AreaSelectionState::hover(QPointF viewLocation) {
    if (m_phase != Phase::Selecting) {
        return;
    }
    const QPointF p = selectionPoint(viewLocation);
    if (m_mouseLocation != p) {
        m_mouseLocation = p;
        emit mouseLocationChanged();
    }
}

QRect AreaSelectionState::cropRect(const QRectF& selectionRect) const {
    // Whole pixels covering the selection, inside the frame.
    const QRectF px = pixelRect(selectionRect);
    return QRect(QPoint(int(std::floor(px.left() + kPixelEdgeTolerance)),
                        int(std::floor(px.top() + kPixelEdgeTolerance))),
                 QPoint(int(std::ceil(px.right() - kPixelEdgeTolerance)) - 1,
                        int(std::ceil(px.bottom() - kPixelEdgeTolerance)) - 1))
        .intersected(m_frozenFrame.rect());
}

std::optional<QImage> AreaSelectionState::cutCrop(const QRectF& selectionRect) const {
    const QRect cut = cropRect(selectionRect);
    if (cut.isEmpty()) {
        return std::nullopt;
    }
    QImage crop = m_frozenFrame.copy(cut);
    if (crop.isNull()) {
        return std::nullopt;
    }
    crop.setDevicePixelRatio(1);
    // Marks keep their place on the screen while the crop moves: what the renderer has
    // derived from the screen's pixels stays valid.
    RenderCache::shared().noteWindow(crop, m_frozenFrame, cut.topLeft());
    return crop;
}

void AreaSelectionState::enterAnnotationPhase() {
    if (m_phase != Phase::Selecting || m_isFinished) {
        return;
    }
    const std::optional<QRectF> rect = currentSelectionRect();
    if (!rect || rect->width() <= kMinimumSelectionPt || rect->height() <= kMinimumSelectionPt) {
        setDrag(std::nullopt, std::nullopt);
        return;
    }
    const std::optional<QImage> crop = cutCrop(*rect);
    if (!crop) {
        finish(m_onCancel);
        return;
    }
    if (m_ocrMode) {
        finish(m_onDismiss);
        recognizeAndDismiss(*crop);
        return;
    }
    m_annotation = AnnotationContext{*crop, *rect, std::make_shared<AnnotationStore>(), false};
    m_phase = Phase::Annotating;
    emit annotationChanged();
    emit phaseChanged();
    if (m_onAnnotationBegan) {
        m_onAnnotationBegan();
    }
}

// Moving and resizing ------------------------------------------------------------------

void AreaSelectionState::updateMove(QPointF translation) {
    if (m_phase != Phase::Annotating || !m_annotation) {
        return;
    }
    if (!m_resizeAnchorRect) {
        m_resizeAnchorRect = m_annotation->selectionRect;
    }
    const QRectF a = *m_resizeAnchorRect;
    double x = a.x() + translation.x();
    double y = a.y() - translation.y();
    x = std::min(m_viewSize.width() - a.width(), std::max(0.0, x));
    y = std::min(m_viewSize.height() - a.height(), std::max(0.0, y));
    applySelectionRect(QRectF(x, y, a.width(), a.height()));
}

void AreaSelectionState::moveEnded() {
    m_resizeAnchorRect.reset();
}

void AreaSelectionState::updateResize(ResizeHandle handle, QPointF translation) {
    if (m_phase != Phase::Annotating || !m_annotation) {
        return;
    }
    if (!m_resizeAnchorRect) {
        m_resizeAnchorRect = m_annotation->selectionRect;
    }
    const QRectF a = *m_resizeAnchorRect;
    double minX = a.left();
    double maxX = a.left() + a.width();
    double minY = a.top();
    double maxY = a.top() + a.height();
    using H = ResizeHandle;
    // An edge dragged past its opposite edge stops 12 points short of it: the rectangle
    // never flips and never gets thinner, whichever side is dragged.
    if (inSet(handle, {H::TopLeft, H::Left, H::BottomLeft})) {
        minX = std::min(minX + translation.x(), maxX - kMinimumResizePt);
    }
    if (inSet(handle, {H::TopRight, H::Right, H::BottomRight})) {
        maxX = std::max(maxX + translation.x(), minX + kMinimumResizePt);
    }
    if (inSet(handle, {H::TopLeft, H::Top, H::TopRight})) {
        maxY = std::max(maxY - translation.y(), minY + kMinimumResizePt);
    }
    if (inSet(handle, {H::BottomLeft, H::Bottom, H::BottomRight})) {
        minY = std::min(minY - translation.y(), maxY - kMinimumResizePt);
    }
    const double x = minX;
    const double width = maxX - minX;
    const double y = minY;
    const double height = maxY - minY;

    const double left = std::max(x, 0.0);
    const double bottom = std::max(y, 0.0);
    const double right = std::min(x + width, m_viewSize.width());
    const double top = std::min(y + height, m_viewSize.height());
    if (right - left >= kMinimumResizePt && top - bottom >= kMinimumResizePt) {
        applySelectionRect(QRectF(left, bottom, right - left, top - bottom));
    }
}

void AreaSelectionState::resizeEnded() {
    m_resizeAnchorRect.reset();
}

void AreaSelectionState::applySelectionRect(const QRectF& rect) {
    if (!m_annotation) {
        return;
    }
    const std::optional<QImage> crop = cutCrop(rect);
    if (!crop) {
        return;
    }
    // Marks stay on the same screen content while the crop moves under them: shift them
    // by the distance between the old and the new crop's corners, in frozen-frame pixels.
    const QPointF delta =
        QPointF(cropRect(m_annotation->selectionRect).topLeft() - cropRect(rect).topLeft());
    AnnotationStore& store = *m_annotation->store;
    if (!delta.isNull()) {
        QList<Annotation> shifted = store.annotations();
        for (Annotation& annotation : shifted) {
            for (QPointF& point : annotation.points) {
                point += delta;
            }
        }
        store.setAnnotations(shifted);
        if (const auto location = store.pendingTextLocation()) {
            // Moving the field keeps what has been typed so far.
            const QString typed = store.pendingText();
            store.setPendingTextLocation(*location + delta);
            store.setPendingText(typed);
        }
    }
    m_annotation = AnnotationContext{*crop, rect, m_annotation->store, false};
    emit annotationChanged();
}

// Endings ------------------------------------------------------------------------------

void AreaSelectionState::finish(const std::function<void()>& ending) {
    m_isFinished = true;
    if (ending) {
        ending();
    }
}

std::optional<QImage> AreaSelectionState::compositedImage() const {
    if (!m_annotation) {
        return std::nullopt;
    }
    return AnnotationExporter::composite(m_annotation->crop, m_annotation->store->annotations());
}

void AreaSelectionState::copy() {
    if (m_phase != Phase::Annotating || m_isFinished) {
        return;
    }
    if (const auto image = compositedImage()) {
        const QImage result = *image;
        finish([this, result] { m_onCopy(result); });
    }
}

void AreaSelectionState::done() {
    if (m_phase != Phase::Annotating || m_isFinished) {
        return;
    }
    if (const auto image = compositedImage()) {
        const QImage result = *image;
        finish([this, result] { m_onDone(result); });
    }
}

void AreaSelectionState::cancel() {
    if (!m_isFinished) {
        finish(m_onCancel);
    }
}

// Keys ---------------------------------------------------------------------------------

void AreaSelectionState::handleModifiersChanged(bool shiftHeld, bool optionHeld) {
    if (m_isFinished) {
        return;
    }
    if (m_lockAspectRatio == shiftHeld && m_resizeFromCenter == optionHeld) {
        return;
    }
    m_lockAspectRatio = shiftHeld;
    m_resizeFromCenter = optionHeld;
    emit modifiersChanged();
}

bool AreaSelectionState::handleKeyDown(quint16 key, bool commandHeld) {
    if (m_isFinished) {
        return false;
    }
    if (m_annotation && m_annotation->store->pendingTextLocation()) {
        if (key == keypos::Escape) {
            // Only the label being typed is dropped (closing the field drops its text);
            // the capture goes on.
            m_annotation->store->setPendingTextLocation(std::nullopt);
            return true;
        }
        return false;
    }
    if (key == keypos::Escape) {
        finish(m_onCancel);
        return true;
    }
    if (m_phase == Phase::Selecting) {
        if (key == keypos::Return) {
            enterAnnotationPhase();
            return true;
        }
        return false;
    }
    if (key == keypos::Return) {
        done();
        return true;
    }
    if (!commandHeld) {
        if (const auto tool = ToolShortcut::forKeyCode(key)) {
            if (m_annotation) {
                m_annotation->store->setCurrentTool(*tool);
            }
            return true;
        }
        if (key == keypos::O) {
            runOCR();
            return true;
        }
        return false;
    }
    switch (key) {
    case keypos::C:
        copy();
        return true;
    case keypos::S:
        saveToDefaultFolder();
        return true;
    case keypos::Z:
        if (m_annotation) {
            m_annotation->store->undo();
        }
        return true;
    default:
        return false;
    }
}

// Toasts -------------------------------------------------------------------------------

void AreaSelectionState::setToast(std::optional<QString> message) {
    if (m_toast == message) {
        return;
    }
    m_toast = std::move(message);
    emit toastChanged();
}

void AreaSelectionState::clearToastLater(int delayMs) {
    // Each timer clears whatever is showing when it fires.
    QTimer::singleShot(delayMs, this, [this] { setToast(std::nullopt); });
}

// Save, recognition, background removal ------------------------------------------------

void AreaSelectionState::saveToDefaultFolder() {
    if (m_phase != Phase::Annotating || m_isFinished) {
        return;
    }
    const std::optional<QImage> image = compositedImage();
    if (!image) {
        return;
    }
    SettingsStore& settings = m_services.settings;
    const QString name = ExportService::renderTemplate(
        settings.filenameTemplate(), QDateTime::currentDateTime(), QString(),
        QTimeZone::systemTimeZone(), ExportService::fileExtension(settings.exportFormat()));
    // The overlay covers the screen, so there is no dialog to ask: the image goes into the
    // save folder of the settings (the default one until the user picks another).
    const bool saved = ExportService(settings).saveToChosenFolder(*image, name).has_value();
    QMetaObject::invokeMethod(
        this,
        [this, saved] {
            if (m_isFinished) {
                return;
            }
            if (saved) {
                setToast(tr("Saved"));
                QTimer::singleShot(kSavedDismissDelayMs, this, [this] {
                    if (!m_isFinished) {
                        finish(m_onDismiss);
                    }
                });
            } else {
                setToast(tr("Save failed"));
                clearToastLater(kToastDurationMs);
            }
        },
        Qt::QueuedConnection);
}

void AreaSelectionState::recognizeAndDismiss(const QImage& image) {
    // The result is shown even when this overlay has ended (and been released) meanwhile,
    // so the continuation holds nothing of it but a guarded pointer.
    const auto show = m_services.showRecognizedText;
    QPointer<AreaSelectionState> self(this);
    m_services.recognizeText(image).then(QCoreApplication::instance(),
                                         [self, show](const RecognitionResult& result) {
                                             if (self && !self->m_isFinished) {
                                                 self->finish(self->m_onDismiss);
                                             }
                                             if (show) {
                                                 show(result.ok() ? result.text : QString());
                                             }
                                         });
}

void AreaSelectionState::runOCR() {
    if (m_phase != Phase::Annotating || !m_annotation || m_recognizing) {
        return;
    }
    // One recognition at a time: a held-down O must not queue up dozens.
    m_recognizing = true;
    recognizeAndDismiss(m_annotation->crop);
}

void AreaSelectionState::removeBackground() {
    if (m_phase != Phase::Annotating || !m_annotation || m_removingBackground) {
        return;
    }
    m_removingBackground = true;
    setToast(tr("Removing background…"));
    const QRectF rect = m_annotation->selectionRect;
    const QImage crop = m_annotation->crop;
    const std::shared_ptr<const BackgroundRemover> remover = m_services.backgroundRemover;
    QtConcurrent::run([remover, crop]() -> std::optional<QImage> {
        return remover ? remover->cutout(crop) : std::nullopt;
    }).then(this, [this, rect, crop](const std::optional<QImage>& cutout) {
        m_removingBackground = false;
        if (!m_annotation || m_annotation->selectionRect != rect) {
            // The selection moved while the model ran: this cut-out belongs to pixels no
            // longer under it, and would put the old rectangle back under moved marks.
            setToast(std::nullopt);
            return;
        }
        if (cutout && !cutout->isNull() && cutout->size() == crop.size()) {
            m_annotation = AnnotationContext{*cutout, rect, m_annotation->store, true};
            emit annotationChanged();
            setToast(tr("Background removed"));
        } else {
            setToast(tr("No subject to lift — works on photos, not flat UI"));
        }
        clearToastLater(kToastDurationMs);
    });
}

} // namespace ivra
