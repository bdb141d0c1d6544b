#include "editor/ui/AnnotationCanvasView.h"

#include <cmath>

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include "annotation/AnnotationRenderView.h"
#include "annotation/AnnotationStore.h"
#include "editor/EditorGeometry.h"
#include "presentation/Theme.h"

namespace ivra {

namespace {

// Shapes that moved less than this along both axes (image pixels) were not meant.
constexpr double kMinimumShapeExtentPx = 3;

QString textFieldStyle() {
    return QStringLiteral("QLineEdit {"
                          " background: %1; color: %2; border: 1px solid %3;"
                          " border-radius: 6px; padding: 3px 7px;"
                          " selection-background-color: %4; selection-color: %2; }"
                          "QLineEdit:focus { border: 1px solid %4; }")
        .arg(theme::kSurface.name(), theme::kText.name(), theme::kFaint.name(),
             theme::kBlue.name());
}

} // namespace

AnnotationCanvasView::AnnotationCanvasView(const QImage& baseImage, AnnotationStore& store,
                                           QSizeF displaySize, bool showsCheckerboard,
                                           QWidget* parent)
    : QWidget(parent)
    , m_baseImage(baseImage)
    , m_store(store)
    , m_displaySize(displaySize.expandedTo(QSizeF(0, 0)))
    , m_showsCheckerboard(showsCheckerboard) {
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::NoFocus);

    m_textField = new QLineEdit(this);
    m_textField->setPlaceholderText(tr("Text"));
    QFont fieldFont = m_textField->font();
    fieldFont.setPixelSize(kTextFieldFontPx);
    m_textField->setFont(fieldFont);
    m_textField->setStyleSheet(textFieldStyle());
    m_textField->setFixedWidth(kTextFieldWidthPt);
    m_textField->hide();
    connect(m_textField, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_store.setPendingText(text); });
    connect(m_textField, &QLineEdit::returnPressed, this, &AnnotationCanvasView::commitPendingText);

    connect(&m_store, &AnnotationStore::changed, this, qOverload<>(&QWidget::update));
    connect(&m_store, &AnnotationStore::pendingTextLocationChanged, this,
            &AnnotationCanvasView::syncTextField);
    connect(&m_store, &AnnotationStore::pendingTextChanged, this,
            &AnnotationCanvasView::syncTextField);
    connect(&m_store, &AnnotationStore::currentToolChanged, this,
            &AnnotationCanvasView::updateCursor);
    updateCursor();
    syncTextField();
}

void AnnotationCanvasView::setBaseImage(const QImage& image) {
    m_baseImage = image;
    update();
}

void AnnotationCanvasView::setShowsCheckerboard(bool shows) {
    if (m_showsCheckerboard != shows) {
        m_showsCheckerboard = shows;
        update();
    }
}

double AnnotationCanvasView::ratio() const {
    return canvasRatio(m_baseImage.width(), m_displaySize.width());
}

QPointF AnnotationCanvasView::pixelPoint(QPointF viewPoint) const {
    return canvasPixelPoint(viewPoint, m_displaySize, ratio());
}

void AnnotationCanvasView::commitPendingText() {
    m_store.commitPendingText(ratio());
}

void AnnotationCanvasView::setFrame(double cornerRadiusPt, const QColor& outline,
                                    const QColor& backdrop) {
    m_cornerRadiusPt = cornerRadiusPt;
    m_outline = outline;
    m_backdrop = backdrop;
    update();
}

QSize AnnotationCanvasView::sizeHint() const {
    return {qCeil(m_displaySize.width()), qCeil(m_displaySize.height())};
}

void AnnotationCanvasView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF target(QPointF(0, 0), m_displaySize);
    const AnnotationRenderView view{m_baseImage, m_store.annotations(), m_draft,
                                    m_showsCheckerboard};
    view.draw(painter, target);

    if (m_cornerRadiusPt > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath rounded;
        rounded.addRoundedRect(target, m_cornerRadiusPt, m_cornerRadiusPt);
        QPainterPath corners;
        corners.addRect(QRectF(rect()));
        painter.fillPath(corners.subtracted(rounded), m_backdrop);
        const QRectF edge = target.adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(m_outline, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(edge, m_cornerRadiusPt - 0.5, m_cornerRadiusPt - 0.5);
    }
}

void AnnotationCanvasView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // A drag whose release never arrived (the window lost the mouse) is abandoned.
    m_draft.reset();
    m_dragStart = event->position();
    dragChanged(event->position());
}

void AnnotationCanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragStart) {
        dragChanged(event->position());
    }
}

void AnnotationCanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragStart) {
        event->ignore();
        return;
    }
    dragEnded(event->position());
    m_dragStart.reset();
}

void AnnotationCanvasView::dragChanged(QPointF location) {
    const AnnotationTool tool = m_store.currentTool();
    if (m_store.pendingTextLocation() || tool == AnnotationTool::Text ||
        tool == AnnotationTool::Step) {
        return;
    }
    const QPointF point = pixelPoint(location);
    if (!m_draft) {
        m_draft = m_store.makeDraft(pixelPoint(*m_dragStart), point, ratio());
    } else if (isFreehand(m_draft->tool)) {
        m_draft->points.append(point);
    } else {
        m_draft->points.last() = point;
    }
    update();
}

void AnnotationCanvasView::dragEnded(QPointF location) {
    const auto finish = [this] {
        m_draft.reset();
        update();
    };
    if (m_store.pendingTextLocation()) {
        // The click that closes a label does nothing else.
        commitPendingText();
        finish();
        return;
    }
    const AnnotationTool tool = m_store.currentTool();
    if (tool == AnnotationTool::Text) {
        m_store.openTextField(pixelPoint(location));
        return;
    }
    if (tool == AnnotationTool::Step) {
        m_store.appendStep(pixelPoint(location), ratio());
        finish();
        return;
    }
    if (m_draft) {
        const QPointF start = pixelPoint(*m_dragStart);
        const QPointF end = pixelPoint(location);
        const bool tooSmall = !isFreehand(m_draft->tool) &&
                              std::abs(end.x() - start.x()) < kMinimumShapeExtentPx &&
                              std::abs(end.y() - start.y()) < kMinimumShapeExtentPx;
        if (!tooSmall) {
            m_store.append(*m_draft);
        }
    }
    finish();
}

void AnnotationCanvasView::syncTextField() {
    const auto location = m_store.pendingTextLocation();
    if (!location) {
        m_textField->hide();
        // setText (unlike clear) also empties the field's undo history: a discarded or
        // committed label's text can never be brought back into the next one.
        m_textField->setText(QString());
        return;
    }
    if (m_textField->isHidden() || m_textField->text() != m_store.pendingText()) {
        m_textField->setText(m_store.pendingText());
    }
    const QPointF centre = textFieldCentre(*location, ratio(), m_displaySize);
    const int height = m_textField->sizeHint().height();
    m_textField->move(qRound(centre.x() - kTextFieldWidthPt / 2.0),
                      qRound(centre.y() - height / 2.0));
    if (m_textField->isHidden()) {
        m_textField->show();
        m_textField->setFocus(Qt::OtherFocusReason);
    }
}

void AnnotationCanvasView::updateCursor() {
    setCursor(m_store.currentTool() == AnnotationTool::Text ? Qt::IBeamCursor : Qt::CrossCursor);
}

} // namespace ivra
