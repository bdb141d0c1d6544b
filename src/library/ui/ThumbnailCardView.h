#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

namespace ivra {

// The face of one floating thumbnail: the capture filling a rounded card, a click that
// opens it, a drag that carries its file, and two buttons (close, copy) shown only while
// the pointer is over the card. The card decides nothing; it reports what the user asked.
class ThumbnailCardView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kCornerRadiusPt = 10;
    static constexpr int kCloseSizePt = 18;
    static constexpr int kCloseInsetPt = 5;
    static constexpr int kCopyGlyphSizePt = 14;
    static constexpr int kCopyPaddingPt = 4;
    static constexpr int kCopyInsetPt = 6;
    static constexpr int kDragPixmapWidthPx = 120;

    // `filePath` is the stored image a drag hands to other applications.
    ThumbnailCardView(const QImage& image, const QString& filePath, QWidget* parent = nullptr);

    bool isHovering() const { return m_hovering; }
    QRect closeButtonRect() const;
    QRect copyButtonRect() const;

signals:
    void openRequested();
    void copyRequested();
    void closeRequested();

protected:
    bool event(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Part { None, Card, Close, Copy };

    Part partAt(QPoint position) const;
    void setHovering(bool hovering);
    void startDrag();
    // The image scaled and cropped to the card's pixels, redone only when the size changes.
    const QPixmap& cardPixmap();
    void paintButtons(QPainter& painter) const;

    QImage m_image;
    QString m_filePath;
    QPixmap m_cardPixmap;
    bool m_hovering = false;
    Part m_pressedPart = Part::None;
    QPoint m_pressPosition;
};

} // namespace ivra
