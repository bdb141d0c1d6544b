#include "library/ui/HistoryBarView.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStackedLayout>
#include <QToolButton>
#include <QWheelEvent>

#include "editor/SymbolIcon.h"
#include "library/CaptureRepository.h"
#include "library/HistoryListModel.h"
#include "library/HistoryStore.h"
#include "library/ThumbnailCache.h"
#include "presentation/Theme.h"

namespace ivra {

namespace {

constexpr int kHeaderSpacingPt = 12;
constexpr int kHeaderPaddingHorizontalPt = 16;
constexpr int kHeaderPaddingVerticalPt = 10;
constexpr int kScrollBarPt = 8;
constexpr int kEmptySymbolPt = 26;

QString rgba(QColor color, double alpha) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(qRound(alpha * 255));
}

QPixmap symbolPixmap(const QString& name, double sizePt, const QColor& color, double dpr) {
    return QPixmap::fromImage(SymbolIcon::render(name, sizePt, color, dpr));
}

QLabel* textLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& color) {
    auto* label = new QLabel(text);
    label->setFont(theme::font(pixelSize, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

// The row of cards: a horizontal list that also scrolls with an ordinary (vertical) wheel.
class CardRow final : public QListView {
public:
    using QListView::QListView;

protected:
    void wheelEvent(QWheelEvent* event) override {
        const QPoint delta = event->angleDelta();
        const int steps = delta.x() != 0 ? delta.x() : delta.y();
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() - steps * HistoryCardView::kWidthPt / 120);
        event->accept();
    }
};

} // namespace

HistoryBarView::HistoryBarView(HistoryStore& store, HistoryCardActions actions, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_actions(std::move(actions))
    , m_thumbnails(std::make_unique<ThumbnailCache>()) {
    m_model = new HistoryListModel(store, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());
    auto* divider = new QFrame;
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: %1;").arg(rgba(theme::kDim, 0.35)));
    layout->addWidget(divider);

    // The row, vertically centred in what is left.
    auto* rowPage = new QWidget;
    auto* rowLayout = new QVBoxLayout(rowPage);
    rowLayout->setContentsMargins(kRowPaddingPt - HistoryCardView::kHalfGapPt, 0,
                                  kRowPaddingPt - HistoryCardView::kHalfGapPt, 0);
    m_row = new CardRow;
    auto* cards = new HistoryCardView(*m_model, *m_thumbnails, m_row);
    m_row->setModel(m_model);
    m_row->setItemDelegate(cards);
    m_row->setFlow(QListView::LeftToRight);
    m_row->setWrapping(false);
    m_row->setUniformItemSizes(true);
    m_row->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_row->horizontalScrollBar()->setSingleStep(HistoryCardView::kWidthPt / 4);
    m_row->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_row->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_row->setSelectionMode(QAbstractItemView::NoSelection);
    m_row->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_row->setDragEnabled(true);
    m_row->setDragDropMode(QAbstractItemView::DragOnly);
    m_row->setDefaultDropAction(Qt::CopyAction);
    m_row->setFocusPolicy(Qt::NoFocus);
    m_row->setFrameShape(QFrame::NoFrame);
    m_row->setMouseTracking(true);
    m_row->viewport()->setAttribute(Qt::WA_Hover);
    m_row->viewport()->setAutoFillBackground(false);
    m_row->setStyleSheet(
        QStringLiteral("QListView { background: transparent; }"
                       "QScrollBar:horizontal { height: %1px; background: transparent; }"
                       "QScrollBar::handle:horizontal { background: %2; border-radius: %3px;"
                       " min-width: 40px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { width: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(kScrollBarPt)
            .arg(rgba(theme::kDim, 0.5))
            .arg(kScrollBarPt / 2));
    const int cardHeight = HistoryCardView::kThumbnailHeightPt +
                           HistoryCardView::kCaptionSpacingPt + HistoryCardView::kCaptionHeightPt;
    m_row->setFixedHeight(cardHeight + kScrollBarPt + 4);
    rowLayout->addStretch(1);
    rowLayout->addWidget(m_row);
    rowLayout->addStretch(1);

    auto* contentHost = new QWidget;
    m_content = new QStackedLayout(contentHost);
    m_content->addWidget(rowPage);
    m_content->addWidget(buildEmptyState());
    layout->addWidget(contentHost, 1);

    // Actions run after the click has been handled: deleting a card resets the row.
    connect(cards, &HistoryCardView::actionRequested, this, &HistoryBarView::performAction,
            Qt::QueuedConnection);
    connect(m_thumbnails.get(), &ThumbnailCache::ready, m_row->viewport(),
            qOverload<>(&QWidget::update));
    connect(&store, &HistoryStore::recordsChanged, this, &HistoryBarView::followStore);
    connect(&store, &HistoryStore::pinnedOnlyChanged, this, &HistoryBarView::followStore);
    followStore();
}

HistoryBarView::~HistoryBarView() = default;

QWidget* HistoryBarView::buildHeader() {
    auto* header = new QWidget;
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(kHeaderPaddingHorizontalPt, kHeaderPaddingVerticalPt,
                               kHeaderPaddingHorizontalPt, kHeaderPaddingVerticalPt);
    layout->setSpacing(kHeaderSpacingPt);
    const double dpr = devicePixelRatioF();

    auto* symbol = new QLabel;
    symbol->setPixmap(symbolPixmap(QStringLiteral("clock.arrow.circlepath"), 15, theme::kDim, dpr));
    layout->addWidget(symbol);
    layout->addWidget(
        textLabel(QStringLiteral("Screenshot History"), 13, QFont::DemiBold, theme::kText));
    m_count = textLabel(QStringLiteral("0"), 11, QFont::Medium, theme::kDim);
    m_count->setStyleSheet(QStringLiteral("background: %1; border-radius: 8px;"
                                          " padding: 1px 6px 1px 6px;")
                               .arg(rgba(theme::kDim, 0.15)));
    layout->addWidget(m_count);
    layout->addStretch(1);

    // The All / Pinned switch: two halves of one rounded control.
    auto* segments = new QWidget;
    auto* segmentsLayout = new QHBoxLayout(segments);
    segmentsLayout->setContentsMargins(2, 2, 2, 2);
    segmentsLayout->setSpacing(0);
    segments->setObjectName(QStringLiteral("segments"));
    segments->setStyleSheet(
        QStringLiteral("#segments { background: %1; border-radius: 7px; }"
                       "QToolButton { color: %2; border: none; border-radius: 5px;"
                       " padding: 2px 10px 2px 10px; font-size: 12px; }"
                       "QToolButton:checked { background: %3; color: %4; }")
            .arg(rgba(theme::kDim, 0.15), theme::kDim.name(), theme::kElev.lighter(150).name(),
                 theme::kText.name()));
    auto makeSegment = [&](const QString& title) {
        auto* button = new QToolButton;
        button->setText(title);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        segmentsLayout->addWidget(button);
        return button;
    };
    m_all = makeSegment(QStringLiteral("All"));
    m_pinned = makeSegment(QStringLiteral("Pinned"));
    m_pinned->setIcon(QIcon(symbolPixmap(QStringLiteral("pin.fill"), 11, theme::kText, dpr)));
    m_pinned->setIconSize(QSize(11, 11));
    connect(m_all, &QAbstractButton::clicked, this, [this] { m_store.setPinnedOnly(false); });
    connect(m_pinned, &QAbstractButton::clicked, this, [this] { m_store.setPinnedOnly(true); });
    layout->addWidget(segments);

    auto* close = new QToolButton;
    close->setIcon(QIcon(symbolPixmap(QStringLiteral("xmark"), 11, theme::kDim, dpr)));
    close->setIconSize(QSize(11, 11));
    close->setFixedSize(22, 22);
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::NoFocus);
    close->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(close, &QAbstractButton::clicked, this, &HistoryBarView::closeRequested);
    m_close = close;
    layout->addWidget(close);
    return header;
}

QWidget* HistoryBarView::buildEmptyState() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(8);
    layout->addStretch(1);
    m_emptySymbol = new QLabel;
    m_emptySymbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_emptySymbol);
    m_emptyText = textLabel(QString(), 12, QFont::Normal, theme::kDim);
    m_emptyText->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_emptyText);
    layout->addStretch(1);
    return page;
}

void HistoryBarView::followStore() {
    m_count->setText(QString::number(m_store.count()));
    const bool pinnedOnly = m_store.pinnedOnly();
    (pinnedOnly ? m_pinned : m_all)->setChecked(true);
    if (m_store.count() > 0) {
        m_content->setCurrentIndex(0);
        return;
    }
    m_emptySymbolName =
        pinnedOnly ? QStringLiteral("pin.slash") : QStringLiteral("camera.viewfinder");
    m_emptySymbol->setPixmap(
        symbolPixmap(m_emptySymbolName, kEmptySymbolPt, theme::kFaint, devicePixelRatioF()));
    m_emptyText->setText(pinnedOnly ? QStringLiteral("No pinned screenshots yet")
                                    : QStringLiteral("No screenshots yet"));
    m_content->setCurrentIndex(1);
}

bool HistoryBarView::showsEmptyState() const {
    return m_content->currentIndex() == 1;
}

void HistoryBarView::setTranslucent(bool translucent) {
    m_translucent = translucent;
    update();
}

void HistoryBarView::performAction(int row, HistoryCardView::Part part) {
    if (row < 0 || row >= m_store.count()) {
        return;
    }
    const CaptureRecord record = m_store.records().at(row);
    CaptureRepository& repository = m_store.repository();
    switch (part) {
    case HistoryCardView::Part::Delete:
        repository.deleteRecord(record);
        m_store.reload();
        break;
    case HistoryCardView::Part::Pin:
        repository.setPinned(record, !record.pinned);
        m_store.reload();
        break;
    case HistoryCardView::Part::Copy:
        if (const auto image = repository.image(record); image && m_actions.copyImage) {
            m_actions.copyImage(*image);
        }
        break;
    case HistoryCardView::Part::Edit:
    case HistoryCardView::Part::Thumbnail:
        if (const auto image = repository.image(record); image && m_actions.openInEditor) {
            m_actions.openInEditor(*image);
        }
        break;
    case HistoryCardView::Part::None:
        break;
    }
}

void HistoryBarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadiusPt,
                         kCornerRadiusPt);
    QColor fill = theme::kSurface;
    if (m_translucent) {
        fill.setAlphaF(0.86);
    }
    painter.fillPath(shape, fill);
    QColor border = theme::kBorder;
    border.setAlphaF(0.7);
    painter.setPen(QPen(border, 1));
    painter.drawPath(shape);
}

} // namespace ivra
