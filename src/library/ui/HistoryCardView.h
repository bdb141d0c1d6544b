#pragma once

#include <QPoint>
#include <QStyledItemDelegate>

namespace ivra {

class HistoryListModel;
class ThumbnailCache;

// Every card of the history shelf's row. Cards are drawn, not built as widgets, so a
// library of thousands of captures costs only the cards on screen: the thumbnail (filled
// and cropped, rounded, a grey placeholder while it is read or when it cannot be), the
// gold badge of a pinned capture, the four buttons while the pointer is over the card, and
// the caption (source application and time). Clicks are reported as actions; a drag is
// the row's (the image file).
class HistoryCardView final : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kWidthPt = 210;
    static constexpr int kThumbnailHeightPt = 132;
    static constexpr double kThumbnailRadiusPt = 9;
    static constexpr int kCaptionSpacingPt = 6;
    static constexpr int kCaptionHeightPt = 16;
    static constexpr int kAppIconPt = 15;
    static constexpr int kBadgeInsetPt = 6;
    static constexpr int kBadgeGlyphPt = 10;
    static constexpr int kBadgePaddingPt = 5;
    static constexpr int kButtonPt = 24;
    static constexpr int kButtonGlyphPt = 12;
    static constexpr int kButtonInsetPt = 7;
    static constexpr int kButtonSpacingPt = 6;
    // Half the 14 points between two cards lies on each side of a card.
    static constexpr int kHalfGapPt = 7;

    enum class Part { None, Thumbnail, Delete, Pin, Copy, Edit };

    HistoryCardView(const HistoryListModel& model, ThumbnailCache& thumbnails,
                    QObject* parent = nullptr);

    // The card within a row item's rectangle, and where its parts are.
    static QRect cardRect(const QRect& itemRect);
    static QRect thumbnailRect(const QRect& itemRect);
    static QRect buttonRect(const QRect& itemRect, Part button);
    // What a click at `position` hits; buttons count only while they are shown.
    static Part partAt(const QRect& itemRect, QPoint position, bool hovering);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

Q_SIGNALS:
    // A click on a button, or on the thumbnail (Part::Thumbnail).
    void actionRequested(int row, ivra::HistoryCardView::Part part);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    void paintThumbnail(QPainter& painter, const QRect& rect, const QString& path,
                        double devicePixelRatio) const;
    static void paintButton(QPainter& painter, const QRect& rect, const QString& symbol,
                            double devicePixelRatio);

    const HistoryListModel& m_model;
    ThumbnailCache& m_thumbnails;
    int m_pressedRow = -1;
    Part m_pressedPart = Part::None;
};

} // namespace ivra
