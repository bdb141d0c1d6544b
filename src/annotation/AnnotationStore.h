#pragma once

#include <optional>

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

#include "annotation/Annotation.h"

namespace ivra {

// The editable state of one image being annotated: the finished marks, the tool, colour
// and width chosen for the next one, and the text label being typed. The canvas and the
// toolbar share one store and redraw on its signals; the store knows neither the image
// nor the canvas size. Main thread only.
//
// History is one level deep: undo() removes one thing (the open text field, else the
// newest mark); there is no redo.
class AnnotationStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<ivra::Annotation> annotations READ annotations WRITE setAnnotations NOTIFY
                   annotationsChanged FINAL)
    Q_PROPERTY(ivra::AnnotationTool currentTool READ currentTool WRITE setCurrentTool NOTIFY
                   currentToolChanged FINAL)
    Q_PROPERTY(ivra::AnnotationColor currentColor READ currentColor WRITE setCurrentColor NOTIFY
                   currentColorChanged FINAL)
    Q_PROPERTY(double currentLineWidth READ currentLineWidth WRITE setCurrentLineWidth NOTIFY
                   currentLineWidthChanged FINAL)
    Q_PROPERTY(std::optional<QPointF> pendingTextLocation READ pendingTextLocation WRITE
                   setPendingTextLocation NOTIFY pendingTextLocationChanged FINAL)
    Q_PROPERTY(
        QString pendingText READ pendingText WRITE setPendingText NOTIFY pendingTextChanged FINAL)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY canUndoChanged FINAL)

public:
    explicit AnnotationStore(QObject* parent = nullptr);

    // Finished marks, oldest first; drawing order is list order.
    const QList<Annotation>& annotations() const { return m_annotations; }
    void setAnnotations(const QList<Annotation>& annotations);
    void append(const Annotation& annotation);

    AnnotationTool currentTool() const { return m_currentTool; }
    void setCurrentTool(AnnotationTool tool);
    AnnotationColor currentColor() const { return m_currentColor; }
    void setCurrentColor(AnnotationColor color);
    // In on-screen points: one of kLineWidthChoices.
    double currentLineWidth() const { return m_currentLineWidth; }
    void setCurrentLineWidth(double widthPt);

    // Where a text label is being typed (image pixels); present exactly while the text
    // field is open. Closing it (setting nothing) also clears pendingText.
    std::optional<QPointF> pendingTextLocation() const { return m_pendingTextLocation; }
    void setPendingTextLocation(std::optional<QPointF> location);
    QString pendingText() const { return m_pendingText; }
    // Ignored while no text field is open: closed means no text.
    void setPendingText(const QString& text);
    // Opens a fresh, empty text field at `location`.
    void openTextField(QPointF location);

    bool canUndo() const;
    void undo();

    // How the canvas turns gestures into marks with the current choices; `ratio` is image
    // pixels per canvas point.
    Annotation makeDraft(QPointF start, QPointF current, double ratio) const;
    // Appends a badge numbered after the steps already in the list, so after undoing
    // step 3 the next one is 3 again.
    void appendStep(QPointF centre, double ratio);
    // Turns the open text field into a label (unless it holds only white space) and closes
    // it. Returns true when a label was appended.
    bool commitPendingText(double ratio);

    int stepCount() const;

signals:
    void annotationsChanged();
    void currentToolChanged();
    void currentColorChanged();
    void currentLineWidthChanged();
    void pendingTextLocationChanged();
    void pendingTextChanged();
    void canUndoChanged();
    // After any of the above, for views that simply redraw.
    void changed();

private:
    // Runs `change`, then announces canUndo if it flipped and the general change.
    template <typename Change> void update(Change&& change);

    QList<Annotation> m_annotations;
    AnnotationTool m_currentTool = AnnotationTool::Pencil;
    AnnotationColor m_currentColor = kDefaultAnnotationColor;
    double m_currentLineWidth = kDefaultLineWidth;
    std::optional<QPointF> m_pendingTextLocation;
    QString m_pendingText;
};

} // namespace ivra
