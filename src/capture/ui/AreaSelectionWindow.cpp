#include "capture/ui/AreaSelectionWindow.h"

#include <cmath>

#include <QBackingStore>
#include <QCursor>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

#include "annotation/AnnotationStore.h"
#include "capture/AreaOverlayLayout.h"
#include "capture/ui/OverlaySupport.h"
#include "editor/ui/AnnotationCanvasView.h"
#include "editor/ui/AnnotationToolbar.h"
#include "keyboard/KeyPositions.h"
#include "presentation/Theme.h"

namespace ivra {

namespace layout = AreaOverlayLayout;

namespace {

QColor black(double opacity) {
    return QColor::fromRgbF(0, 0, 0, float(opacity));
}

QColor white(double opacity) {
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}

} // namespace

// A line of text over the overlay: the hint under the toolbar, or the toast on a capsule.
// It takes no clicks.
class OverlayCaption : public QWidget {
public:
    OverlayCaption(QWidget* parent, int pixelSize, bool capsule)
        : QWidget(parent)
        , m_capsule(capsule) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        QFont captionFont = font();
        captionFont.setPixelSize(pixelSize);
        if (capsule) {
            captionFont.setWeight(QFont::Medium);
        }
        setFont(captionFont);
        hide();
    }

    QString text() const { return isVisible() ? m_text : QString(); }

    void showText(const QString& text, QPointF centre) {
        m_text = text;
        const QFontMetricsF metrics(font());
        const QSizeF textSize(std::ceil(metrics.horizontalAdvance(text)),
                              std::ceil(metrics.height()));
        const QSizeF size = m_capsule ? textSize + QSizeF(2 * 14, 2 * 7) : textSize;
        setGeometry(
            QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size).toAlignedRect());
        show();
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (m_capsule) {
            const QRectF bar = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            QColor fill = theme::kElev;
            fill.setAlphaF(0.92f);
            painter.setPen(QPen(white(0.12), 1));
            painter.setBrush(fill);
            painter.drawRoundedRect(bar, bar.height() / 2, bar.height() / 2);
            painter.setPen(theme::kText);
        } else {
            painter.setPen(white(0.8));
        }
        painter.drawText(rect(), Qt::AlignCenter, m_text);
    }

private:
    QString m_text;
    const bool m_capsule;
};

// The confirmed selection's outline, its invisible move band and its eight resize dots.
// Its mask is the band and the dots' hit circles, so a press anywhere else falls through
// to the canvas below it.
class SelectionFrame : public QWidget {
public:
    static constexpr double kMargin = layout::kDotDiameterPt / 2 + layout::kDotHitGrowthPt + 1;

    explicit SelectionFrame(QWidget* parent)
        : QWidget(parent) {
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
        hide();
    }

    void setState(AreaSelectionState* state) { m_state = state; }

    // `selection` in the parent's coordinates (view space).
    void setSelection(const QRectF& selection) {
        m_selection = selection;
        const QRectF outer = selection.adjusted(-kMargin, -kMargin, kMargin, kMargin);
        setGeometry(outer.toAlignedRect());
        const QRectF local = selection.translated(-pos());
        const double half = layout::kMoveBandWidthPt / 2;
        QRegion mask(local.adjusted(-half, -half, half, half).toAlignedRect());
        const QRectF inner = local.adjusted(half, half, -half, -half);
        if (inner.isValid()) {
            mask -= QRegion(inner.toAlignedRect());
        }
        const double hit = layout::kDotDiameterPt / 2 + layout::kDotHitGrowthPt;
        for (const ResizeHandle handle : kAllResizeHandles) {
            const QPointF c = resizeHandlePosition(handle, local);
            mask += QRegion(QRectF(c - QPointF(hit, hit), QSizeF(2 * hit, 2 * hit)).toAlignedRect(),
                            QRegion::Ellipse);
        }
        setMask(mask);
        show();
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF local = m_selection.translated(-pos());
        painter.setPen(QPen(Qt::white, layout::kBorderWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(local);
        const double radius = layout::kDotDiameterPt / 2;
        painter.setPen(QPen(black(0.4), 1));
        painter.setBrush(Qt::white);
        for (const ResizeHandle handle : kAllResizeHandles) {
            painter.drawEllipse(resizeHandlePosition(handle, local), radius, radius);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !m_state) {
            event->ignore();
            return;
        }
        m_pressGlobal = event->globalPosition();
        m_gesture = hitTest(event->position());
        m_started = false;
        if (auto* overlay = qobject_cast<AreaSelectionWindow*>(parentWidget())) {
            emit overlay->pointerPressed();
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) || !m_state) {
            updateCursor(hitTest(event->position()));
            return;
        }
        const QPointF translation = event->globalPosition() - m_pressGlobal;
        if (!m_started) {
            // A move needs 2 points of travel before it starts, a resize 1.
            const double threshold = m_gesture ? 1 : 2;
            if (std::hypot(translation.x(), translation.y()) < threshold) {
                return;
            }
            m_started = true;
        }
        if (m_gesture) {
            m_state->updateResize(*m_gesture, translation);
        } else {
            m_state->updateMove(translation);
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !m_state || !m_started) {
            return;
        }
        m_started = false;
        if (m_gesture) {
            m_state->resizeEnded();
        } else {
            m_state->moveEnded();
        }
    }

private:
    // A dot's handle, or nothing for the band; later dots lie above earlier ones.
    std::optional<ResizeHandle> hitTest(QPointF local) const {
        const QRectF selection = m_selection.translated(-pos());
        const double hit = layout::kDotDiameterPt / 2 + layout::kDotHitGrowthPt;
        for (auto it = kAllResizeHandles.rbegin(); it != kAllResizeHandles.rend(); ++it) {
            const QPointF d = local - resizeHandlePosition(*it, selection);
            if (std::hypot(d.x(), d.y()) <= hit) {
                return *it;
            }
        }
        return std::nullopt;
    }

    void updateCursor(std::optional<ResizeHandle> handle) {
        if (!handle) {
            setCursor(Qt::SizeAllCursor);
            return;
        }
        switch (*handle) {
        case ResizeHandle::TopLeft:
        case ResizeHandle::BottomRight:
            setCursor(Qt::SizeFDiagCursor);
            break;
        case ResizeHandle::TopRight:
        case ResizeHandle::BottomLeft:
            setCursor(Qt::SizeBDiagCursor);
            break;
        case ResizeHandle::Top:
        case ResizeHandle::Bottom:
            setCursor(Qt::SizeVerCursor);
            break;
        case ResizeHandle::Left:
        case ResizeHandle::Right:
            setCursor(Qt::SizeHorCursor);
            break;
        }
    }

    AreaSelectionState* m_state = nullptr;
    QRectF m_selection;
    QPointF m_pressGlobal;
    std::optional<ResizeHandle> m_gesture;
    bool m_started = false;
};

AreaSelectionWindow::AreaSelectionWindow(QScreen* screen)
    : m_screen(screen) {
    setObjectName(QStringLiteral("AreaSelectionWindow"));
    OverlaySupport::prepareWindow(*this, tr("Ivra area capture"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    m_selectionFrame = new SelectionFrame(this);
    m_hint = new OverlayCaption(this, 11, false);
    m_toast = new OverlayCaption(this, 13, true);
}

AreaSelectionWindow::~AreaSelectionWindow() = default;

void AreaSelectionWindow::warmUp() {
    setGeometry(m_screen->geometry());
    create();
    windowHandle()->setScreen(m_screen);
    // The backing store's pixels are first touched here rather than during a capture.
    if (QBackingStore* store = backingStore()) {
        store->resize(size());
        const QRegion all(rect());
        store->beginPaint(all);
        if (QPaintDevice* device = store->paintDevice()) {
            QPainter painter(device);
            painter.fillRect(rect(), Qt::black);
        }
        store->endPaint();
    }
}

void AreaSelectionWindow::begin(QImage frozenFrame, Endings endings,
                                AreaSelectionState::Services services) {
    end();
    m_frame = frozenFrame;
    const QRect geometry = m_screen->geometry();
    m_state = std::make_unique<AreaSelectionState>(
        std::move(frozenFrame), QSizeF(geometry.size()), m_screen->devicePixelRatio(),
        std::move(endings.onCancel), std::move(endings.onCopy), std::move(endings.onDone),
        std::move(endings.onDismiss), std::move(services));
    m_selectionFrame->setState(m_state.get());
    connectState();
    // The pointer may already be over this display: start the crosshair there.
    const QPoint pointer = QCursor::pos(m_screen);
    if (geometry.contains(pointer)) {
        m_state->hover(QPointF(pointer - geometry.topLeft()));
    }
    m_paintedChrome = chromeRegion();
    m_dragging = false;
    setCursor(Qt::CrossCursor);
    if (windowHandle()) {
        windowHandle()->setScreen(m_screen);
    }
    setGeometry(geometry);
    // Keys pass the window once on their way to the focused widget (a label's field):
    // the state sees each key there, before the field does.
    create();
    windowHandle()->installEventFilter(this);
    update();
}

void AreaSelectionWindow::end() {
    if (windowHandle()) {
        windowHandle()->removeEventFilter(this);
    }
    hide();
    m_selectionFrame->setState(nullptr);
    m_selectionFrame->hide();
    m_hint->hide();
    m_toast->hide();
    // end() may run inside a call of the state, the canvas or a toolbar button (the
    // capture ends from there): they go when control is back in the event loop, the views
    // before the state that owns their store.
    for (QWidget* view : {static_cast<QWidget*>(m_canvas), static_cast<QWidget*>(m_toolbar)}) {
        if (view) {
            view->hide();
            view->deleteLater();
        }
    }
    m_canvas = nullptr;
    m_toolbar = nullptr;
    if (m_state) {
        m_state->disconnect(this);
        m_state.release()->deleteLater();
    }
    m_frame = QImage();
}

void AreaSelectionWindow::connectState() {
    AreaSelectionState* state = m_state.get();
    connect(state, &AreaSelectionState::mouseLocationChanged, this, [this] { refreshChrome(); });
    connect(state, &AreaSelectionState::dragChanged, this, [this] { refreshChrome(); });
    connect(state, &AreaSelectionState::modifiersChanged, this, [this] { refreshChrome(); });
    connect(state, &AreaSelectionState::phaseChanged, this, [this] { syncPhase(); });
    connect(state, &AreaSelectionState::annotationChanged, this, [this] { syncAnnotation(); });
    connect(state, &AreaSelectionState::toastChanged, this, [this] { syncToast(); });
}

QString AreaSelectionWindow::hintText() const {
    return m_hint->text();
}

QString AreaSelectionWindow::toastText() const {
    return m_toast->text();
}

QRectF AreaSelectionWindow::magnifierRect() const {
    if (!m_state || m_state->phase() != AreaSelectionState::Phase::Selecting ||
        m_state->dragStart()) {
        return {};
    }
    const QPointF pointer = m_state->viewPoint(m_state->mouseLocation());
    const QRectF source = layout::magnifierSourceRect(pointer, m_state->pixelScale());
    if (source.intersected(QRectF(m_frame.rect())).isEmpty()) {
        return {};
    }
    const QPointF centre = layout::magnifierCentre(pointer, m_state->viewSize());
    const double half = layout::kMagnifierSizePt / 2;
    return {centre - QPointF(half, half), QSizeF(2 * half, 2 * half)};
}

// Selection layer ----------------------------------------------------------------------

namespace {

QFont sizeLabelFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(int(layout::kSizeLabelFontPt));
    font.setWeight(QFont::Medium);
    return font;
}

QRectF sizeLabelBox(const QRectF& selection) {
    const QFontMetricsF metrics(sizeLabelFont());
    const QString text = layout::sizeLabelText(selection.size());
    const QSizeF size(metrics.horizontalAdvance(text) + 2 * layout::kSizeLabelMarginPt,
                      metrics.height() + 2 * layout::kSizeLabelMarginPt);
    const QPointF centre = layout::sizeLabelCentre(selection);
    return {centre - QPointF(size.width() / 2, size.height() / 2), size};
}

} // namespace

QRegion AreaSelectionWindow::chromeRegion() const {
    QRegion region;
    if (!m_state || m_state->phase() != AreaSelectionState::Phase::Selecting) {
        return region;
    }
    if (const auto selection = m_state->currentSelectionRect()) {
        const QRectF r = m_state->viewRect(*selection);
        const QRect outer = r.adjusted(-2, -2, 2, 2).toAlignedRect();
        const QRect inner = r.adjusted(2, 2, -2, -2).toAlignedRect();
        region += QRegion(outer) - QRegion(inner.isValid() ? inner : QRect());
        region += sizeLabelBox(r).adjusted(-1, -1, 1, 1).toAlignedRect();
    }
    if (!m_state->dragStart()) {
        const QPointF pointer = m_state->viewPoint(m_state->mouseLocation());
        const int x = int(std::floor(pointer.x()));
        const int y = int(std::floor(pointer.y()));
        region += QRect(x - 1, 0, 3, height());
        region += QRect(0, y - 1, width(), 3);
        const QRectF magnifier = magnifierRect();
        if (!magnifier.isEmpty()) {
            region += magnifier.adjusted(-2, -2, 2, 2).toAlignedRect();
        }
    }
    return region;
}

void AreaSelectionWindow::refreshChrome() {
    const QRegion now = chromeRegion();
    update(m_paintedChrome | now);
    m_paintedChrome = now;
}

void AreaSelectionWindow::paintEvent(QPaintEvent* event) {
    if (!m_state) {
        return;
    }
    QPainter painter(this);
    const bool selecting = m_state->phase() == AreaSelectionState::Phase::Selecting;
    OverlaySupport::paintFrozenFrame(painter, m_frame, event->region(), m_state->pixelScale(),
                                     selecting ? layout::kSelectingDim : layout::kAnnotatingDim);
    if (selecting) {
        paintSelectionLayer(painter, event->rect());
    }
}

void AreaSelectionWindow::paintSelectionLayer(QPainter& painter, const QRect& dirty) {
    if (const auto selection = m_state->currentSelectionRect()) {
        const QRectF r = m_state->viewRect(*selection);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, layout::kBorderWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        const QRectF box = sizeLabelBox(r);
        if (box.intersects(dirty)) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(black(0.7));
            painter.drawRoundedRect(box, 4, 4);
            painter.setPen(Qt::white);
            painter.setFont(sizeLabelFont());
            painter.drawText(box, Qt::AlignCenter, layout::sizeLabelText(r.size()));
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    if (!m_state->dragStart()) {
        const QPointF pointer = m_state->viewPoint(m_state->mouseLocation());
        const QColor line = white(layout::kCrosshairOpacity);
        painter.fillRect(QRectF(pointer.x(), 0, 1, height()), line);
        painter.fillRect(QRectF(0, pointer.y(), width(), 1), line);
        if (magnifierRect().intersects(dirty)) {
            paintMagnifier(painter);
        }
    }
}

void AreaSelectionWindow::paintMagnifier(QPainter& painter) {
    const QRectF target = magnifierRect();
    if (target.isEmpty()) {
        return;
    }
    const QPointF pointer = m_state->viewPoint(m_state->mouseLocation());
    const QRectF source = layout::magnifierSourceRect(pointer, m_state->pixelScale());
    const QRectF visible = source.intersected(QRectF(m_frame.rect()));
    // Only the small square is cut and scaled; near an edge the part beyond the frame stays
    // dark instead of stretching what is left.
    const double zoom = target.width() / source.width();
    const QRectF shown(target.topLeft() + (visible.topLeft() - source.topLeft()) * zoom,
                       visible.size() * zoom);
    QPainterPath clip;
    clip.addRoundedRect(target, layout::kMagnifierCornerRadius, layout::kMagnifierCornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(clip);
    painter.fillRect(target, Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(shown, m_frame, visible);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor red = QColor::fromRgbF(1, 0, 0, 0.8f);
    const QPointF c = target.center();
    painter.fillRect(QRectF(c.x() - 0.5, target.top(), 1, target.height()), red);
    painter.fillRect(QRectF(target.left(), c.y() - 0.5, target.width(), 1), red);
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, layout::kMagnifierBorderWidth));
    painter.setBrush(Qt::NoBrush);
    const double inset = layout::kMagnifierBorderWidth / 2;
    painter.drawRoundedRect(target.adjusted(inset, inset, -inset, -inset),
                            layout::kMagnifierCornerRadius, layout::kMagnifierCornerRadius);
    painter.restore();
}

// Annotation layer ---------------------------------------------------------------------

void AreaSelectionWindow::syncPhase() {
    if (m_state->phase() == AreaSelectionState::Phase::Annotating) {
        setCursor(Qt::ArrowCursor);
        m_paintedChrome = QRegion();
        update(); // the dimming deepens everywhere
    }
}

void AreaSelectionWindow::syncAnnotation() {
    const auto& context = m_state->annotation();
    if (!context) {
        return;
    }
    const QRectF r = m_state->viewRect(context->selectionRect);
    const bool sameCanvas = m_canvas && m_canvas->baseImage().size() == context->crop.size();
    if (sameCanvas) {
        m_canvas->setBaseImage(context->crop);
        m_canvas->setShowsCheckerboard(context->hasCutout);
    } else {
        if (m_canvas) {
            m_canvas->hide();
            m_canvas->deleteLater();
        }
        m_canvas = new AnnotationCanvasView(context->crop, *context->store, r.size(),
                                            context->hasCutout, this);
        m_canvas->show();
    }
    m_canvas->setGeometry(r.toAlignedRect());
    m_selectionFrame->setSelection(r);

    if (!m_toolbar) {
        AreaSelectionState* state = m_state.get();
        AnnotationToolbarActions actions;
        actions.onCopy = [state] { state->copy(); };
        actions.onOCR = [state] { state->runOCR(); };
        actions.onSave = [state] { state->saveToDefaultFolder(); };
        actions.onRemoveBackground = [state] { state->removeBackground(); };
        actions.onDone = [state] { state->done(); };
        actions.onCancel = [state] { state->cancel(); };
        // Ctrl+C, Ctrl+S and Ctrl+Z go through the state's key table, by key position.
        actions.bindsShortcuts = false;
        m_toolbar = new AnnotationToolbar(*context->store, std::move(actions), this);
        m_toolbar->adjustSize();
        m_toolbar->show();
    }
    placeAnnotationChrome();
}

void AreaSelectionWindow::placeAnnotationChrome() {
    const QRectF r = m_state->viewRect(m_state->annotation()->selectionRect);
    const QSizeF view = m_state->viewSize();
    const QPointF toolbarCentre = layout::toolbarCentre(r, view);
    const QSize toolbarSize = m_toolbar->size();
    m_toolbar->move(
        (toolbarCentre - QPointF(toolbarSize.width() / 2.0, toolbarSize.height() / 2.0)).toPoint());
    m_toolbar->raise();
    m_hint->showText(layout::hintText(), layout::hintCentre(r, view));
    syncToast();
}

void AreaSelectionWindow::syncToast() {
    const auto& toast = m_state->toast();
    if (!toast) {
        m_toast->hide();
        return;
    }
    QRectF r;
    if (const auto& context = m_state->annotation()) {
        r = m_state->viewRect(context->selectionRect);
    } else {
        r = QRectF(QPointF(0, 0), m_state->viewSize());
    }
    m_toast->showText(*toast, layout::toastCentre(r));
}

// Input --------------------------------------------------------------------------------

void AreaSelectionWindow::mousePressEvent(QMouseEvent* event) {
    emit pointerPressed();
    if (!m_state || event->button() != Qt::LeftButton) {
        return;
    }
    m_state->handleModifiersChanged(event->modifiers() & Qt::ShiftModifier,
                                    event->modifiers() & Qt::AltModifier);
    if (m_state->phase() == AreaSelectionState::Phase::Selecting) {
        m_dragging = true;
        m_state->selectionDragChanged(event->position());
    }
}

void AreaSelectionWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_state) {
        return;
    }
    m_state->handleModifiersChanged(event->modifiers() & Qt::ShiftModifier,
                                    event->modifiers() & Qt::AltModifier);
    if (m_dragging) {
        m_state->selectionDragChanged(event->position());
    } else {
        m_state->hover(event->position());
    }
}

void AreaSelectionWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_state || event->button() != Qt::LeftButton || !m_dragging) {
        return;
    }
    m_dragging = false;
    m_state->selectionDragEnded();
}

bool AreaSelectionWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return false;
    }
    // At the window, each key once: a key the field ignores (Return, after it committed
    // the label) travels on through the widgets and must not reach the state again.
    if (!m_state || watched != windowHandle()) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    // The modifier keys' own events report the state before them.
    bool shift = key->modifiers() & Qt::ShiftModifier;
    bool alt = key->modifiers() & Qt::AltModifier;
    const bool pressed = event->type() == QEvent::KeyPress;
    if (key->key() == Qt::Key_Shift) {
        shift = pressed;
    } else if (key->key() == Qt::Key_Alt) {
        alt = pressed;
    }
    m_state->handleModifiersChanged(shift, alt);
    if (!pressed) {
        return false;
    }
    const auto position = KeyPositions::fromKeyEvent(*key);
    if (!position) {
        return false;
    }
    // The state may end the capture, and its owner end this window, inside the call.
    return m_state->handleKeyDown(*position, key->modifiers() & Qt::ControlModifier);
}

} // namespace ivra
