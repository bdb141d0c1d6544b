#include "library/ui/FloatingThumbnailManager.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>

#include "library/CaptureRepository.h"
#include "library/ui/FloatingThumbnailWindow.h"
#include "library/ui/ThumbnailCardView.h"
#include "services/ClipboardService.h"

namespace ivra {

FloatingThumbnailManager::FloatingThumbnailManager(CaptureRepository& repository,
                                                   std::function<void(const QImage&)> openInEditor,
                                                   QObject* parent)
    : QObject(parent)
    , m_repository(repository)
    , m_openInEditor(std::move(openInEditor)) {
}

FloatingThumbnailManager::~FloatingThumbnailManager() {
    for (const Entry& entry : std::as_const(m_entries)) {
        delete entry.window;
    }
}

QSize FloatingThumbnailManager::cardSizePt(QSize imageSizePx) {
    // The image is shown at half its pixel size, in points.
    const double displayWidth = imageSizePx.width() / 2.0;
    const double displayHeight = imageSizePx.height() / 2.0;
    const double height = kCardWidthPt * displayHeight / std::max(displayWidth, 1.0);
    const double clamped = std::clamp(height, double(kMinCardHeightPt), double(kMaxCardHeightPt));
    return QSize(kCardWidthPt, qRound(clamped));
}

void FloatingThumbnailManager::present(const CaptureRecord& record, const QImage& image) {
    auto* card = new ThumbnailCardView(image, record.imagePath);
    auto* window = new FloatingThumbnailWindow(card, cardSizePt(image.size()));

    // The manager is the connections' context: a card never calls into a manager that is gone.
    connect(card, &ThumbnailCardView::openRequested, this, [this, record, image] {
        if (m_openInEditor) {
            m_openInEditor(image);
        }
        dismiss(record, false);
    });
    connect(card, &ThumbnailCardView::copyRequested, this, [this, record, image] {
        ClipboardService::copy(image);
        dismiss(record, false);
    });
    connect(card, &ThumbnailCardView::closeRequested, this,
            [this, record] { dismiss(record, true); });

    m_entries.prepend(Entry{window, record});

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect full = screen->geometry();
        const QRect available = screen->availableGeometry();
        const int bottom = available.y() + available.height() - kBottomMarginPt;
        window->moveTo(
            QRect(QPoint(full.x() + full.width() + kOffscreenOffsetPt, bottom - window->height()),
                  window->size()),
            0);
    }
    window->present();
    relayout();
}

void FloatingThumbnailManager::dismiss(const CaptureRecord& record, bool deleteCapture) {
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return entry.record.id == record.id;
    });
    if (found == m_entries.end()) {
        return;
    }
    const Entry entry = *found;
    m_entries.erase(found);
    if (entry.window) {
        entry.window->hide();
        // Called from the card's own click handler: delete once that has returned.
        entry.window->deleteLater();
    }
    if (deleteCapture) {
        m_repository.deleteRecord(entry.record);
    }
    relayout();
}

void FloatingThumbnailManager::relayout() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    // Qt's y axis points down: the stack grows from the work area's bottom edge upwards.
    const QRect available = screen->availableGeometry();
    const int right = available.x() + available.width() - kRightMarginPt;
    int bottom = available.y() + available.height() - kBottomMarginPt;
    for (const Entry& entry : std::as_const(m_entries)) {
        if (!entry.window) {
            continue;
        }
        const QSize size = entry.window->size();
        entry.window->moveTo(QRect(QPoint(right - size.width(), bottom - size.height()), size),
                             m_animationDurationMs);
        bottom -= size.height() + kGapPt;
    }
}

} // namespace ivra
