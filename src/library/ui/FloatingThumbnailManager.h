#pragma once

#include <functional>

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>

#include "library/CaptureRecord.h"

namespace ivra {

class CaptureRepository;
class FloatingThumbnailWindow;

// The floating cards of fresh captures at the bottom-right corner of the main screen,
// newest at the bottom, stacked upwards. A card stays until the user acts on it: a click
// opens the capture in the editor, the copy button copies it, and both keep it in the
// library; the close button discards it with its files and record. Main thread only.
class FloatingThumbnailManager : public QObject {
    Q_OBJECT

public:
    struct Entry {
        QPointer<FloatingThumbnailWindow> window;
        CaptureRecord record;
    };

    static constexpr int kCardWidthPt = 224;
    static constexpr int kMinCardHeightPt = 56;
    static constexpr int kMaxCardHeightPt = 200;
    static constexpr int kRightMarginPt = 14;
    static constexpr int kBottomMarginPt = 16;
    static constexpr int kGapPt = 10;
    // New cards start this far beyond the screen's right edge and slide in.
    static constexpr int kOffscreenOffsetPt = 24;
    static constexpr int kDefaultAnimationDurationMs = 250;

    // `openInEditor` is how a clicked card opens its image.
    FloatingThumbnailManager(CaptureRepository& repository,
                             std::function<void(const QImage&)> openInEditor,
                             QObject* parent = nullptr);
    ~FloatingThumbnailManager() override;

    // Shows a card for a capture the repository has just stored.
    void present(const CaptureRecord& record, const QImage& image);
    // Removes the card of `record`, discarding the capture too when `deleteCapture` is set.
    // A record without a card changes nothing.
    void dismiss(const CaptureRecord& record, bool deleteCapture);
    // Moves every card to its slot in the stack.
    void relayout();

    // Newest first: the first entry is the card at the bottom.
    const QList<Entry>& entries() const { return m_entries; }

    // How long cards take to slide into place; 0 places them at once.
    void setAnimationDurationMs(int durationMs) { m_animationDurationMs = durationMs; }

    // 224 points wide; as tall as the image shown at half its pixel size keeps its aspect,
    // within 56…200 points.
    static QSize cardSizePt(QSize imageSizePx);

private:
    CaptureRepository& m_repository;
    std::function<void(const QImage&)> m_openInEditor;
    QList<Entry> m_entries;
    int m_animationDurationMs = kDefaultAnimationDurationMs;
};

} // namespace ivra
