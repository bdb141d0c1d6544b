#pragma once

#include <optional>

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include "annotation/Annotation.h"

class QLineEdit;

namespace ivra {

class AnnotationStore;

// The surface on which marks are drawn over a base image. Mouse gestures become marks of
// the store's current tool: drawn tools follow the drag (a draft, appended on release
// unless a shape moved less than 3 image pixels), text opens a label field where the
// mouse is released, step places a numbered badge there. The canvas handles no keys; its
// host routes tool letters, undo and Escape.
//
// The canvas is shown at `displaySize` points, which has the image's aspect ratio; marks
// are stored in image pixels (one ratio for both axes).
class AnnotationCanvasView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTextFieldWidthPt = 200;
    static constexpr int kTextFieldFontPx = 14;

    AnnotationCanvasView(const QImage& baseImage, AnnotationStore& store, QSizeF displaySize,
                         bool showsCheckerboard, QWidget* parent = nullptr);

    const QImage& baseImage() const { return m_baseImage; }
    // For an image of the same pixel size (a cut-out): marks stay where they are.
    void setBaseImage(const QImage& image);
    bool showsCheckerboard() const { return m_showsCheckerboard; }
    void setShowsCheckerboard(bool shows);
    QSizeF displaySize() const { return m_displaySize; }

    // Image pixels per canvas point.
    double ratio() const;
    // A canvas point as an image pixel, clamped to the canvas.
    QPointF pixelPoint(QPointF viewPoint) const;
    // The mark being dragged, if any.
    const std::optional<Annotation>& draft() const { return m_draft; }
    // The label field; shown exactly while the store has a pending text location.
    QLineEdit* textField() const { return m_textField; }

    // Turns the open label field into a text mark (unless it holds only white space) and
    // closes it; nothing when no field is open.
    void commitPendingText();

    // Rounds the canvas's corners and outlines it, for hosts that show it as a framed
    // picture. The corners show `backdrop`, the colour the canvas sits on.
    void setFrame(double cornerRadiusPt, const QColor& outline, const QColor& backdrop);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void dragChanged(QPointF location);
    void dragEnded(QPointF location);
    void syncTextField();
    void updateCursor();

    QImage m_baseImage;
    AnnotationStore& m_store;
    QSizeF m_displaySize;
    bool m_showsCheckerboard = false;
    std::optional<Annotation> m_draft;
    std::optional<QPointF> m_dragStart; // canvas points; present while the button is down
    QLineEdit* m_textField = nullptr;
    double m_cornerRadiusPt = 0;
    QColor m_outline;
    QColor m_backdrop;
};

} // namespace ivra
