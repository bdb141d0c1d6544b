#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QFuture>
#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "recognition/OCRService.h"

namespace ivra {

class AnnotationStore;
class BackgroundRemover;
class SettingsStore;

// The eight dots on a confirmed selection, in drawing order.
enum class ResizeHandle { TopLeft, Top, TopRight, Right, BottomRight, Bottom, BottomLeft, Left };
inline constexpr std::array<ResizeHandle, 8> kAllResizeHandles{
    ResizeHandle::TopLeft,     ResizeHandle::Top,    ResizeHandle::TopRight,   ResizeHandle::Right,
    ResizeHandle::BottomRight, ResizeHandle::Bottom, ResizeHandle::BottomLeft, ResizeHandle::Left,
};

// Where a handle's dot sits on a rectangle drawn in view space (y down).
QPointF resizeHandlePosition(ResizeHandle handle, const QRectF& viewRect);

// What one area-capture overlay knows and decides: the frozen picture of its display, the
// rectangle being drawn, and after confirmation the crop being annotated in place. The
// overlay window draws it and reports gestures and keys; everything else happens here, and
// the capture ends through exactly one of four callbacks.
//
// Three coordinate spaces meet here:
//  - selection space: points, origin at the display's bottom-left corner, y up. Drag
//    points, the pointer and selection rectangles are kept in it;
//  - view space: the overlay's points, origin top-left, y down;
//  - frozen-frame pixels: origin top-left, `pixelScale` pixels per point. Crops are cut in
//    it, and marks are kept in the crop's own pixels.
//
// Main thread only; slow work (recognition, background removal) runs elsewhere and comes
// back here.
class AreaSelectionState : public QObject {
    Q_OBJECT

public:
    enum class Phase { Selecting, Annotating };

    // The confirmed selection being annotated. The store is shared by every context of one
    // capture, so marks survive moves and resizes.
    struct AnnotationContext {
        QImage crop; // the pixels under the selection, or their cut-out
        QRectF selectionRect;
        std::shared_ptr<AnnotationStore> store;
        bool hasCutout = false;
    };

    // What the state uses besides its picture; tests pass their own.
    struct Services {
        SettingsStore& settings; // file-name template, export format, save folder
        std::shared_ptr<const BackgroundRemover> backgroundRemover;
        std::function<QFuture<RecognitionResult>(const QImage&)> recognizeText;
        // Shows recognised text to the user (empty when recognition failed).
        std::function<void(const QString&)> showRecognizedText;
    };

    static constexpr double kMinimumSelectionPt = 2; // a confirmed side is longer
    static constexpr double kMinimumResizePt = 12;   // no side gets shorter by resizing
    static constexpr int kSavedDismissDelayMs = 600; // "Saved" shows this long
    static constexpr int kToastDurationMs = 1500;

    AreaSelectionState(QImage frozenFrame, QSizeF viewSize, double pixelScale,
                       std::function<void()> onCancel, std::function<void(QImage)> onCopy,
                       std::function<void(QImage)> onDone, std::function<void()> onDismiss,
                       Services services, QObject* parent = nullptr);
    ~AreaSelectionState() override;

    // Set by the owner.
    void setOcrMode(bool ocrMode) { m_ocrMode = ocrMode; }
    bool ocrMode() const { return m_ocrMode; }
    void setOnAnnotationBegan(std::function<void()> callback) {
        m_onAnnotationBegan = std::move(callback);
    }

    const QImage& frozenFrame() const { return m_frozenFrame; }
    QSizeF viewSize() const { return m_viewSize; }
    double pixelScale() const { return m_pixelScale; }
    Phase phase() const { return m_phase; }
    const std::optional<AnnotationContext>& annotation() const { return m_annotation; }
    const std::optional<QString>& toast() const { return m_toast; }
    QPointF mouseLocation() const { return m_mouseLocation; }
    std::optional<QPointF> dragStart() const { return m_dragStart; }
    std::optional<QPointF> dragCurrent() const { return m_dragCurrent; }
    bool lockAspectRatio() const { return m_lockAspectRatio; }
    bool resizeFromCenter() const { return m_resizeFromCenter; }
    bool isFinished() const { return m_isFinished; }

    // Space conversions.
    QPointF selectionPoint(QPointF viewPoint) const;
    QPointF viewPoint(QPointF selectionPoint) const;
    QRectF viewRect(const QRectF& selectionRect) const;
    QRectF pixelRect(const QRectF& selectionRect) const;

    // The rectangle being drawn, in selection space, clipped to the display.
    std::optional<QRectF> currentSelectionRect() const;

    // Gestures, locations in view space.
    void selectionDragChanged(QPointF viewLocation);
    void selectionDragEnded();
    void hover(QPointF viewLocation);
    // Cumulative view-space translations since the gesture began.
    void updateMove(QPointF translation);
    void moveEnded();
    void updateResize(ResizeHandle handle, QPointF translation);
    void resizeEnded();

    // Keys: a key position (see KeyPositions) and whether Ctrl is held. True when the key
    // was used; false lets it through to the focused field.
    bool handleKeyDown(quint16 keyPosition, bool commandHeld);
    void handleModifiersChanged(bool shiftHeld, bool optionHeld);

    // Confirms the rectangle being drawn (drag end, Return).
    void enterAnnotationPhase();

    // Toolbar actions.
    void copy();
    void done();
    void cancel();
    void saveToDefaultFolder();
    void runOCR();
    void removeBackground();

    // The crop with its marks flattened onto it (a label still being typed left out);
    // nothing without a confirmed selection.
    std::optional<QImage> compositedImage() const;

signals:
    void phaseChanged();
    void annotationChanged();
    void toastChanged();
    void mouseLocationChanged();
    void dragChanged();
    void modifiersChanged();

private:
    QRect cropRect(const QRectF& selectionRect) const;
    std::optional<QImage> cutCrop(const QRectF& selectionRect) const;
    void applySelectionRect(const QRectF& rect);
    void finish(const std::function<void()>& ending);
    void setToast(std::optional<QString> message);
    void clearToastLater(int delayMs);
    void setDrag(std::optional<QPointF> start, std::optional<QPointF> current);
    void recognizeAndDismiss(const QImage& image);

    QImage m_frozenFrame;
    QSizeF m_viewSize;
    double m_pixelScale;
    std::function<void()> m_onCancel;
    std::function<void(QImage)> m_onCopy;
    std::function<void(QImage)> m_onDone;
    std::function<void()> m_onDismiss;
    Services m_services;
    std::function<void()> m_onAnnotationBegan;
    bool m_ocrMode = false;

    Phase m_phase = Phase::Selecting;
    std::optional<AnnotationContext> m_annotation;
    std::optional<QString> m_toast;
    QPointF m_mouseLocation;
    std::optional<QPointF> m_dragStart;
    std::optional<QPointF> m_dragCurrent;
    bool m_lockAspectRatio = false;
    bool m_resizeFromCenter = false;
    bool m_isFinished = false;
    std::optional<QRectF> m_resizeAnchorRect;
    bool m_recognizing = false;
    bool m_removingBackground = false;
};

} // namespace ivra
