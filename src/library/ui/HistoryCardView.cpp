#include "library/ui/HistoryCardView.h"

#include <QEvent>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "editor/SymbolIcon.h"
#include "library/AppInfoResolver.h"
#include "library/HistoryListModel.h"
#include "library/ThumbnailCache.h"
#include "presentation/Theme.h"

namespace ivra {

namespace {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(alpha);
    return color;
}

// Symbols are drawn once per name, size, colour and pixel ratio.
const QImage& symbol(const QString& name, double sizePt, const QColor& color, double dpr) {
    static QHash<QString, QImage> cache;
    const QString key =
        QStringLiteral("%1/%2/%3/%4").arg(name).arg(sizePt).arg(color.rgba()).arg(dpr);
    auto found = cache.find(key);
    if (found == cache.end()) {
        found = cache.insert(key, SymbolIcon::render(name, sizePt, color, dpr));
    }
    return *found;
}

} // namespace

HistoryCardView::HistoryCardView(const HistoryListModel& model, ThumbnailCache& thumbnails,
                                 QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
    , m_thumbnails(thumbnails) {
}

QRect HistoryCardView::cardRect(const QRect& itemRect) {
    return QRect(itemRect.left() + kHalfGapPt, itemRect.top(), kWidthPt,
                 kThumbnailHeightPt + kCaptionSpacingPt + kCaptionHeightPt);
}

QRect HistoryCardView::thumbnailRect(const QRect& itemRect) {
    const QRect card = cardRect(itemRect);
    return QRect(card.topLeft(), QSize(kWidthPt, kThumbnailHeightPt));
}

QRect HistoryCardView::buttonRect(const QRect& itemRect, Part button) {
    const QRect inner = thumbnailRect(itemRect).adjusted(kButtonInsetPt, kButtonInsetPt,
                                                         -kButtonInsetPt, -kButtonInsetPt);
    const QSize size(kButtonPt, kButtonPt);
    const int bottom = inner.bottom() - kButtonPt + 1;
    switch (button) {
    case Part::Delete:
        return QRect(QPoint(inner.right() - kButtonPt + 1, inner.top()), size);
    case Part::Pin:
        return QRect(QPoint(inner.left(), bottom), size);
    case Part::Copy:
        return QRect(QPoint(inner.left() + kButtonPt + kButtonSpacingPt, bottom), size);
    case Part::Edit:
        return QRect(QPoint(inner.left() + 2 * (kButtonPt + kButtonSpacingPt), bottom), size);
    case Part::None:
    case Part::Thumbnail:
        break;
    }
    return {};
}

HistoryCardView::Part HistoryCardView::partAt(const QRect& itemRect, QPoint position,
                                              bool hovering) {
    if (hovering) {
        for (Part button : {Part::Delete, Part::Pin, Part::Copy, Part::Edit}) {
            if (buttonRect(itemRect, button).contains(position)) {
                return button;
            }
        }
    }
    return thumbnailRect(itemRect).contains(position) ? Part::Thumbnail : Part::None;
}

QSize HistoryCardView::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return QSize(kWidthPt + 2 * kHalfGapPt,
                 kThumbnailHeightPt + kCaptionSpacingPt + kCaptionHeightPt);
}

void HistoryCardView::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= m_model.rowCount()) {
        return;
    }
    const CaptureRecord& record = m_model.record(index.row());
    const double dpr = painter->device()->devicePixelRatioF();
    const QRect thumbnail = thumbnailRect(option.rect);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    paintThumbnail(*painter, thumbnail, record.thumbnailPath, dpr);

    if (record.pinned) {
        const int diameter = kBadgeGlyphPt + 2 * kBadgePaddingPt;
        const QRect badge(thumbnail.left() + kBadgeInsetPt, thumbnail.top() + kBadgeInsetPt,
                          diameter, diameter);
        painter->setPen(Qt::NoPen);
        painter->setBrush(theme::kGold);
        painter->drawEllipse(badge);
        painter->drawImage(QRectF(badge.adjusted(kBadgePaddingPt, kBadgePaddingPt, -kBadgePaddingPt,
                                                 -kBadgePaddingPt)),
                           symbol(QStringLiteral("pin.fill"), kBadgeGlyphPt, Qt::white, dpr));
    }

    if (option.state.testFlag(QStyle::State_MouseOver)) {
        paintButton(*painter, buttonRect(option.rect, Part::Delete), QStringLiteral("xmark"), dpr);
        paintButton(*painter, buttonRect(option.rect, Part::Pin),
                    record.pinned ? QStringLiteral("pin.slash.fill") : QStringLiteral("pin.fill"),
                    dpr);
        paintButton(*painter, buttonRect(option.rect, Part::Copy),
                    QStringLiteral("doc.on.doc.fill"), dpr);
        paintButton(*painter, buttonRect(option.rect, Part::Edit),
                    QStringLiteral("pencil.tip.crop.circle"), dpr);
    }

    // Caption: the source application's icon and name, then the time at the far end.
    const QRect card = cardRect(option.rect);
    QRect caption(card.left(), thumbnail.bottom() + 1 + kCaptionSpacingPt, kWidthPt,
                  kCaptionHeightPt);
    const AppInfoResolver::Info app = AppInfoResolver::shared().info(record.sourceAppBundleID);
    int textLeft = caption.left();
    if (!app.icon.isNull()) {
        const QRect iconRect(caption.left(), caption.center().y() - kAppIconPt / 2, kAppIconPt,
                             kAppIconPt);
        app.icon.paint(painter, iconRect);
        textLeft = iconRect.right() + 1 + 5;
    }
    const QString time = index.data(Qt::DisplayRole).toString();
    const QFont timeFont = theme::font(10, QFont::Normal);
    const int timeWidth = QFontMetrics(timeFont).horizontalAdvance(time);
    painter->setFont(timeFont);
    painter->setPen(theme::kDim);
    painter->drawText(
        QRect(caption.right() - timeWidth + 1, caption.top(), timeWidth, caption.height()),
        Qt::AlignRight | Qt::AlignVCenter, time);
    const QFont nameFont = theme::font(11, QFont::Medium);
    const QRect nameRect(textLeft, caption.top(), caption.right() - timeWidth - 8 - textLeft,
                         caption.height());
    painter->setFont(nameFont);
    painter->setPen(theme::kText);
    painter->drawText(
        nameRect, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(nameFont).elidedText(app.name, Qt::ElideRight, nameRect.width()));
    painter->restore();
}

void HistoryCardView::paintThumbnail(QPainter& painter, const QRect& rect, const QString& path,
                                     double devicePixelRatio) const {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect), kThumbnailRadiusPt, kThumbnailRadiusPt);
    const QSize pixels = (QSizeF(rect.size()) * devicePixelRatio).toSize();
    const ThumbnailCache::Lookup found = m_thumbnails.lookup(path, pixels);
    if (found.state == ThumbnailCache::State::Ready) {
        painter.save();
        painter.setClipPath(shape);
        painter.drawImage(QRectF(rect), found.image);
        painter.restore();
    } else {
        painter.fillPath(shape, withAlpha(theme::kDim, 0.15));
    }
    painter.setPen(QPen(withAlpha(Qt::white, 0.15), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
}

void HistoryCardView::paintButton(QPainter& painter, const QRect& rect, const QString& name,
                                  double devicePixelRatio) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(Qt::black, 0.55));
    painter.drawEllipse(rect);
    const QImage& glyph = symbol(name, kButtonGlyphPt, Qt::white, devicePixelRatio);
    const QPointF corner(rect.left() + (kButtonPt - kButtonGlyphPt) / 2.0,
                         rect.top() + (kButtonPt - kButtonGlyphPt) / 2.0);
    painter.drawImage(QRectF(corner, QSizeF(kButtonGlyphPt, kButtonGlyphPt)), glyph);
}

bool HistoryCardView::editorEvent(QEvent* event, QAbstractItemModel*,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) {
        return false;
    }
    // The pointer is over this card, so its buttons are showing.
    const Part part = partAt(option.rect, mouse->position().toPoint(), true);
    if (event->type() == QEvent::MouseButtonPress) {
        // Not consumed: the row still sees the press, so a drag can start from it.
        m_pressedRow = index.row();
        m_pressedPart = part;
        return false;
    }
    const bool sameTarget = m_pressedRow == index.row() && m_pressedPart == part;
    m_pressedRow = -1;
    m_pressedPart = Part::None;
    if (!sameTarget || part == Part::None) {
        return false;
    }
    Q_EMIT actionRequested(index.row(), part);
    return true;
}

} // namespace ivra
