#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

#include "library/ui/HistoryCardView.h"

class QAbstractButton;
class QLabel;
class QListView;
class QStackedLayout;

namespace ivra {

class HistoryListModel;
class HistoryStore;
class ThumbnailCache;

// What the shelf's cards hand to the rest of Ivra.
struct HistoryCardActions {
    std::function<void(const QImage&)> copyImage;
    std::function<void(const QImage&)> openInEditor;
};

// The shelf's content: the header (symbol, "Screenshot History", the count, the
// All/Pinned switch, the close button), a divider, and either the row of cards, newest
// first, or the empty state. It follows the store; card actions go to the store's
// repository and then reload the store.
class HistoryBarView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kCornerRadiusPt = 14;
    static constexpr int kRowPaddingPt = 16;
    static constexpr int kRowPaddingVerticalPt = 12;

    HistoryBarView(HistoryStore& store, HistoryCardActions actions, QWidget* parent = nullptr);
    ~HistoryBarView() override;

    // Whether the window behind the view blends (a compositing manager runs): the
    // background is then translucent, otherwise opaque.
    void setTranslucent(bool translucent);

    // For the window and for tests.
    QListView& row() const { return *m_row; }
    QLabel& countBadge() const { return *m_count; }
    QLabel& emptyText() const { return *m_emptyText; }
    QLabel& emptySymbol() const { return *m_emptySymbol; }
    QAbstractButton& allButton() const { return *m_all; }
    QAbstractButton& pinnedButton() const { return *m_pinned; }
    QAbstractButton& closeButton() const { return *m_close; }
    bool showsEmptyState() const;
    // The symbol the empty state shows: "camera.viewfinder" or "pin.slash".
    QString emptySymbolName() const { return m_emptySymbolName; }

    // Runs a card's action for the record in `row`.
    void performAction(int row, HistoryCardView::Part part);

Q_SIGNALS:
    void closeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildEmptyState();
    void followStore();

    HistoryStore& m_store;
    HistoryCardActions m_actions;
    std::unique_ptr<ThumbnailCache> m_thumbnails;
    HistoryListModel* m_model = nullptr;
    QListView* m_row = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_emptySymbol = nullptr;
    QLabel* m_emptyText = nullptr;
    QString m_emptySymbolName;
    QAbstractButton* m_all = nullptr;
    QAbstractButton* m_pinned = nullptr;
    QAbstractButton* m_close = nullptr;
    QStackedLayout* m_content = nullptr;
    bool m_translucent = false;
};

} // namespace ivra
