#include "annotation/AnnotationStore.h"

#include <algorithm>

namespace ivra {

AnnotationStore::AnnotationStore(QObject* parent)
    : QObject(parent) {
}

template <typename Change> void AnnotationStore::update(Change&& change) {
    const bool couldUndo = canUndo();
    if (!change()) {
        return;
    }
    if (couldUndo != canUndo()) {
        emit canUndoChanged();
    }
    emit changed();
}

void AnnotationStore::setAnnotations(const QList<Annotation>& annotations) {
    update([&] {
        if (m_annotations == annotations) {
            return false;
        }
        m_annotations = annotations;
        emit annotationsChanged();
        return true;
    });
}

void AnnotationStore::append(const Annotation& annotation) {
    update([&] {
        m_annotations.append(annotation);
        emit annotationsChanged();
        return true;
    });
}

void AnnotationStore::setCurrentTool(AnnotationTool tool) {
    update([&] {
        if (m_currentTool == tool) {
            return false;
        }
        m_currentTool = tool;
        emit currentToolChanged();
        return true;
    });
}

void AnnotationStore::setCurrentColor(AnnotationColor color) {
    update([&] {
        if (m_currentColor == color) {
            return false;
        }
        m_currentColor = color;
        emit currentColorChanged();
        return true;
    });
}

void AnnotationStore::setCurrentLineWidth(double widthPt) {
    update([&] {
        if (m_currentLineWidth == widthPt) {
            return false;
        }
        m_currentLineWidth = widthPt;
        emit currentLineWidthChanged();
        return true;
    });
}

void AnnotationStore::setPendingTextLocation(std::optional<QPointF> location) {
    update([&] {
        if (m_pendingTextLocation == location) {
            return false;
        }
        m_pendingTextLocation = location;
        emit pendingTextLocationChanged();
        if (!location && !m_pendingText.isEmpty()) {
            m_pendingText.clear();
            emit pendingTextChanged();
        }
        return true;
    });
}

void AnnotationStore::setPendingText(const QString& text) {
    update([&] {
        if (!m_pendingTextLocation || m_pendingText == text) {
            return false;
        }
        m_pendingText = text;
        emit pendingTextChanged();
        return true;
    });
}

void AnnotationStore::openTextField(QPointF location) {
    update([&] {
        const bool textChanged = !m_pendingText.isEmpty();
        const bool locationChanged = m_pendingTextLocation != location;
        m_pendingText.clear();
        m_pendingTextLocation = location;
        if (textChanged) {
            emit pendingTextChanged();
        }
        if (locationChanged) {
            emit pendingTextLocationChanged();
        }
        return textChanged || locationChanged;
    });
}

bool AnnotationStore::canUndo() const {
    return !m_annotations.isEmpty() || m_pendingTextLocation.has_value();
}

void AnnotationStore::undo() {
    if (m_pendingTextLocation) {
        // An open text field goes first, and its text with it.
        setPendingTextLocation(std::nullopt);
        return;
    }
    update([&] {
        if (m_annotations.isEmpty()) {
            return false;
        }
        m_annotations.removeLast();
        emit annotationsChanged();
        return true;
    });
}

Annotation AnnotationStore::makeDraft(QPointF start, QPointF current, double ratio) const {
    return Annotation::makeDrawn(m_currentTool, start, current, m_currentColor, m_currentLineWidth,
                                 ratio);
}

void AnnotationStore::appendStep(QPointF centre, double ratio) {
    append(
        Annotation::makeStep(centre, stepCount() + 1, m_currentColor, m_currentLineWidth, ratio));
}

bool AnnotationStore::commitPendingText(double ratio) {
    if (!m_pendingTextLocation) {
        return false;
    }
    const auto label = Annotation::makeText(*m_pendingTextLocation, m_pendingText, m_currentColor,
                                            m_currentLineWidth, ratio);
    setPendingTextLocation(std::nullopt);
    if (label) {
        append(*label);
    }
    return label.has_value();
}

int AnnotationStore::stepCount() const {
    return static_cast<int>(std::count_if(
        m_annotations.cbegin(), m_annotations.cend(),
        [](const Annotation& annotation) { return annotation.tool == AnnotationTool::Step; }));
}

} // namespace ivra
