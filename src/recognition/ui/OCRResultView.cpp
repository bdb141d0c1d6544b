#include "recognition/ui/OCRResultView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

#include "presentation/Theme.h"

namespace ivra {

namespace {

constexpr int kPaddingPx = 16;
constexpr int kSpacingPx = 12;
constexpr int kTextPaddingPx = 12;
constexpr int kTextSizePx = 13;
constexpr int kCaptionSizePx = 11;
constexpr int kCopyMinWidthPx = 80;
constexpr int kIconSizePx = 14;
// Room between the icon and the button's label; Qt puts none.
constexpr int kIconGapPx = 5;

using theme::kDim;
using theme::kFaint;
using theme::kText;
const QColor kOnAccent(255, 255, 255);

enum class Glyph { Copy, Check };

// Small line icons in the button's text colour; drawn rather than taken from the icon
// theme, which many desktops (and headless sessions) lack or draw for a light background.
QPixmap glyphPixmap(Glyph glyph, const QColor& color) {
    constexpr qreal kRatio = 2;
    QPixmap pixmap(QSize(kIconSizePx + kIconGapPx, kIconSizePx) * kRatio);
    pixmap.setDevicePixelRatio(kRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    if (glyph == Glyph::Copy) {
        // Two sheets, the front one over the back one.
        painter.drawRoundedRect(QRectF(4.5, 1.5, 8, 9.5), 1.5, 1.5);
        QPainterPath back;
        back.moveTo(2.5, 4.5);
        back.lineTo(1.5, 4.5);
        back.lineTo(1.5, 12.5);
        back.lineTo(9.5, 12.5);
        back.lineTo(9.5, 12);
        painter.drawPath(back);
    } else {
        QPainterPath check;
        check.moveTo(2.5, 7.5);
        check.lineTo(5.8, 10.8);
        check.lineTo(11.8, 3.5);
        pen.setWidthF(1.8);
        painter.setPen(pen);
        painter.drawPath(check);
    }
    painter.end();
    return pixmap;
}

QIcon glyphIcon(Glyph glyph) {
    QIcon icon(glyphPixmap(glyph, kOnAccent));
    icon.addPixmap(glyphPixmap(glyph, kFaint), QIcon::Disabled);
    return icon;
}

QFont fontOfSize(const QFont& base, int sizePx) {
    QFont font = base;
    font.setPixelSize(sizePx);
    return font;
}

} // namespace

qsizetype OCRResultView::perceivedLength(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

OCRResultView::OCRResultView(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(text) {
    setObjectName(QStringLiteral("OCRResultView"));
    setMinimumSize(420, 300);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("OCRResultTextFrame"));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(kTextPaddingPx, kTextPaddingPx, kTextPaddingPx / 2,
                                    kTextPaddingPx);

    auto* textArea = new QPlainTextEdit(frame);
    textArea->setObjectName(QStringLiteral("OCRResultText"));
    textArea->setReadOnly(true);
    textArea->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    textArea->setFrameShape(QFrame::NoFrame);
    textArea->setFont(fontOfSize(font(), kTextSizePx));
    textArea->document()->setDocumentMargin(0);
    textArea->setFocusPolicy(Qt::ClickFocus);
    textArea->setPlaceholderText(tr("No text found in the selection."));
    textArea->setPlainText(m_text);
    QPalette textPalette = textArea->palette();
    textPalette.setColor(QPalette::PlaceholderText, kDim);
    textPalette.setColor(QPalette::Text, kText);
    textArea->setPalette(textPalette);
    frameLayout->addWidget(textArea);

    auto* row = new QHBoxLayout();
    row->setSpacing(8);
    if (!m_text.isEmpty()) {
        auto* countLabel = new QLabel(
            tr("%n characters", nullptr, static_cast<int>(perceivedLength(m_text))), this);
        countLabel->setObjectName(QStringLiteral("OCRResultCount"));
        countLabel->setFont(fontOfSize(font(), kCaptionSizePx));
        row->addWidget(countLabel);
    }
    row->addStretch(1);

    auto* closeButton = new QPushButton(tr("Close"), this);
    closeButton->setObjectName(QStringLiteral("OCRResultClose"));
    closeButton->setFont(fontOfSize(font(), kTextSizePx));
    closeButton->setCursor(Qt::PointingHandCursor);
    connect(closeButton, &QPushButton::clicked, this, &OCRResultView::closeRequested);
    row->addWidget(closeButton);

    m_copyButton = new QPushButton(glyphIcon(Glyph::Copy), tr("Copy"), this);
    m_copyButton->setObjectName(QStringLiteral("OCRResultCopy"));
    m_copyButton->setFont(fontOfSize(font(), kTextSizePx));
    m_copyButton->setIconSize(QSize(kIconSizePx + kIconGapPx, kIconSizePx));
    m_copyButton->setMinimumWidth(kCopyMinWidthPx);
    m_copyButton->setCursor(Qt::PointingHandCursor);
    m_copyButton->setEnabled(!m_text.isEmpty());
    connect(m_copyButton, &QPushButton::clicked, this, &OCRResultView::copy);
    row->addWidget(m_copyButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPaddingPx, kPaddingPx, kPaddingPx, kPaddingPx);
    layout->setSpacing(kSpacingPx);
    layout->addWidget(frame, 1);
    layout->addLayout(row);

    // Escape and Return act from anywhere in the panel, also while the text has focus.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &OCRResultView::closeRequested);
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &OCRResultView::copy);
    }

    (m_copyButton->isEnabled() ? m_copyButton : closeButton)->setFocus();
}

void OCRResultView::copy() {
    if (m_text.isEmpty()) {
        return;
    }
    Q_EMIT copyRequested();
    if (!m_copied) {
        m_copied = true;
        m_copyButton->setIcon(glyphIcon(Glyph::Check));
        m_copyButton->setText(tr("Copied"));
    }
}

} // namespace ivra
