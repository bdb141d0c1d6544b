#include "library/ui/ThumbnailCardView.h"

#include <QApplication>
#include <QDrag>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "editor/SymbolIcon.h"
#include "imageio/Downscale.h"
#include "presentation/Theme.h"
#include "services/DragDropService.h"

namespace ivra {

namespace {

QColor blackAt(double opacity) {
    QColor color(Qt::black);
    color.setAlphaF(opacity);
    return color;
}

// The close glyph in two tones: a white cross inside a translucent black disc. The icon
// is one colour with the cross cut out, so the cut-out is filled white from behind, trimmed
// to the cut-out itself so the disc stays translucent everywhere else.
QImage closeGlyph(double devicePixelRatio) {
    const QString name = QStringLiteral("xmark.circle.fill");
    const double sizePt = ThumbnailCardView::kCloseSizePt;
    const QImage disc = SymbolIcon::render(name, sizePt, blackAt(0.65), devicePixelRatio);
    const QImage cutOut = SymbolIcon::render(name, sizePt, Qt::white, devicePixelRatio);

    QImage glyph(disc.size(), QImage::Format_ARGB32_Premultiplied);
    glyph.setDevicePixelRatio(disc.devicePixelRatio());
    glyph.fill(Qt::transparent);
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    // Wider than the cross, well inside the disc.
    const QPointF centre(sizePt / 2, sizePt / 2);
    painter.drawEllipse(centre, sizePt * 0.34, sizePt * 0.34);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.drawImage(QPointF(0, 0), cutOut);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPointF(0, 0), disc);
    return glyph;
}

} // namespace

ThumbnailCardView::ThumbnailCardView(const QImage& image, const QString& filePath, QWidget* parent)
    : QWidget(parent)
    , m_image(image)
    , m_filePath(filePath) {
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    // The card's accent, for anything the style draws on it.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Highlight, theme::kBlue);
    setPalette(palette);
}

QRect ThumbnailCardView::closeButtonRect() const {
    return QRect(kCloseInsetPt, kCloseInsetPt, kCloseSizePt, kCloseSizePt);
}

QRect ThumbnailCardView::copyButtonRect() const {
    const int side = kCopyGlyphSizePt + 2 * kCopyPaddingPt;
    return QRect(width() - kCopyInsetPt - side, height() - kCopyInsetPt - side, side, side);
}

ThumbnailCardView::Part ThumbnailCardView::partAt(QPoint position) const {
    if (!rect().contains(position)) {
        return Part::None;
    }
    if (m_hovering && closeButtonRect().contains(position)) {
        return Part::Close;
    }
    if (m_hovering && copyButtonRect().contains(position)) {
        return Part::Copy;
    }
    return Part::Card;
}

void ThumbnailCardView::setHovering(bool hovering) {
    if (m_hovering == hovering) {
        return;
    }
    m_hovering = hovering;
    update();
}

bool ThumbnailCardView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (partAt(help->pos()) == Part::Copy) {
            QToolTip::showText(help->globalPos(), tr("Copy image"), this, copyButtonRect());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

void ThumbnailCardView::enterEvent(QEnterEvent* event) {
    setHovering(true);
    QWidget::enterEvent(event);
}

void ThumbnailCardView::leaveEvent(QEvent* event) {
    setHovering(false);
    QWidget::leaveEvent(event);
}

void ThumbnailCardView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // A press can arrive before the enter event when the card slid in under the pointer.
    setHovering(true);
    m_pressedPart = partAt(event->position().toPoint());
    m_pressPosition = event->position().toPoint();
}

void ThumbnailCardView::mouseMoveEvent(QMouseEvent* event) {
    if (m_pressedPart != Part::Card || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPoint moved = event->position().toPoint() - m_pressPosition;
    if (moved.manhattanLength() >= QApplication::startDragDistance()) {
        m_pressedPart = Part::None;
        startDrag();
    }
}

void ThumbnailCardView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const Part pressed = m_pressedPart;
    m_pressedPart = Part::None;
    if (pressed == Part::None || partAt(event->position().toPoint()) != pressed) {
        return;
    }
    // The receiver may dismiss the card, so nothing touches the view after the signal.
    switch (pressed) {
    case Part::Card:
        emit openRequested();
        break;
    case Part::Close:
        emit closeRequested();
        break;
    case Part::Copy:
        emit copyRequested();
        break;
    case Part::None:
        break;
    }
}

void ThumbnailCardView::startDrag() {
    auto* drag = new QDrag(this);
    drag->setMimeData(DragDropService::itemProvider(m_filePath).release());
    const QPixmap picture = QPixmap::fromImage(
        imageio::downscale(m_image, m_image.size().scaled(kDragPixmapWidthPx, kDragPixmapWidthPx,
                                                          Qt::KeepAspectRatio)));
    drag->setPixmap(picture);
    drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
    drag->exec(Qt::CopyAction);
}

const QPixmap& ThumbnailCardView::cardPixmap() {
    const double dpr = devicePixelRatioF();
    const QSize sizePx = (QSizeF(size()) * dpr).toSize();
    if (m_cardPixmap.size() != sizePx && !m_image.isNull() && !sizePx.isEmpty()) {
        // Aspect fill: cover the whole card, crop the overflow evenly on both sides.
        const QImage covering = imageio::downscale(
            m_image, m_image.size().scaled(sizePx, Qt::KeepAspectRatioByExpanding));
        const QRect crop(QPoint((covering.width() - sizePx.width()) / 2,
                                (covering.height() - sizePx.height()) / 2),
                         sizePx);
        m_cardPixmap = QPixmap::fromImage(covering.copy(crop));
        m_cardPixmap.setDevicePixelRatio(dpr);
    }
    return m_cardPixmap;
}

void ThumbnailCardView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadiusPt, kCornerRadiusPt);
    painter.setClipPath(shape);
    painter.drawPixmap(rect(), cardPixmap());
    painter.setClipping(false);

    QColor edge(Qt::white);
    edge.setAlphaF(0.85);
    painter.setPen(QPen(edge, 1));
    painter.setBrush(Qt::NoBrush);
    const QRectF edgeRect = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(edgeRect, kCornerRadiusPt - 0.5, kCornerRadiusPt - 0.5);

    if (m_hovering) {
        paintButtons(painter);
    }
}

void ThumbnailCardView::paintButtons(QPainter& painter) const {
    const double dpr = devicePixelRatioF();
    painter.drawImage(closeButtonRect().topLeft(), closeGlyph(dpr));

    const QRect copyRect = copyButtonRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(blackAt(0.45));
    painter.drawRoundedRect(QRectF(copyRect), 6, 6);
    const QImage copyGlyph =
        SymbolIcon::render(QStringLiteral("doc.on.doc.fill"), kCopyGlyphSizePt, Qt::white, dpr);
    painter.drawImage(copyRect.topLeft() + QPoint(kCopyPaddingPt, kCopyPaddingPt), copyGlyph);
}

} // namespace ivra
