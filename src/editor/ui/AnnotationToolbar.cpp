#include "editor/ui/AnnotationToolbar.h"

#include <QAbstractButton>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include "annotation/Annotation.h"
#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationStore.h"
#include "editor/SymbolIcon.h"
#include "keyboard/KeyPositions.h"
#include "presentation/Theme.h"

namespace ivra {

namespace {

constexpr int kGroupSpacingPt = 10;
constexpr int kToolSpacingPt = 3;
constexpr int kSwatchSpacingPt = 6;
constexpr int kDividerHeightPt = 18;
constexpr double kBarRadiusPt = 10;
constexpr double kButtonRadiusPt = 6;
constexpr QSize kActionFrame{26, 24};
constexpr double kActionSymbolFontPt = 13;
constexpr double kSwatchDiameterPt = 14;
constexpr QSize kWidthFrame{20, 24};
// A symbol drawn "at font size n" fills a square a quarter larger than n, as glyphs of
// that size do.
constexpr double kSymbolPerFontSize = 1.25;

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(alpha);
    return color;
}

// A control of the bar: fixed size, never takes keyboard focus (keys belong to the host),
// pointing hand, repainted on hover.
class BarButton : public QAbstractButton {
public:
    BarButton(QSize size, QWidget* parent)
        : QAbstractButton(parent) {
        setFixedSize(size);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }
};

// A borderless button showing one symbol, with a soft highlight when hovered and the
// accent fill when it stands for the current choice.
class SymbolButton final : public BarButton {
public:
    SymbolButton(const QString& symbol, double symbolFontPt, QSize frame, QColor color,
                 QWidget* parent)
        : BarButton(frame, parent)
        , m_symbol(symbol)
        , m_symbolSizePt(symbolFontPt * kSymbolPerFontSize)
        , m_color(color) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect());
        QColor fill = Qt::transparent;
        if (isChecked()) {
            fill = withAlpha(theme::kBlue, 0.35);
        } else if (isEnabled() && isDown()) {
            fill = withAlpha(theme::kText, 0.16);
        } else if (isEnabled() && underMouse()) {
            fill = withAlpha(theme::kText, 0.09);
        }
        if (fill.alpha() > 0) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawRoundedRect(frame, kButtonRadiusPt, kButtonRadiusPt);
        }
        const QColor color = isEnabled() ? m_color : withAlpha(m_color, 0.3);
        const QImage icon =
            SymbolIcon::render(m_symbol, m_symbolSizePt, color, devicePixelRatioF());
        const QSizeF iconSize = icon.deviceIndependentSize();
        painter.drawImage(QPointF((frame.width() - iconSize.width()) / 2,
                                  (frame.height() - iconSize.height()) / 2),
                          icon);
    }

private:
    QString m_symbol;
    double m_symbolSizePt;
    QColor m_color;
};

// A round colour swatch; the ring is bright around the current colour.
class SwatchButton final : public BarButton {
public:
    // Two points wider than the swatch, so a 2-point ring is not cut off.
    SwatchButton(QColor color, QWidget* parent)
        : BarButton(QSize(qRound(kSwatchDiameterPt) + 2, kActionFrame.height()), parent)
        , m_color(color) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QRectF disc(0, 0, kSwatchDiameterPt, kSwatchDiameterPt);
        disc.moveCenter(QRectF(rect()).center());
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(disc);
        const bool current = isChecked();
        painter.setPen(QPen(withAlpha(theme::kText, current ? 0.9 : 0.25), current ? 2 : 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(disc);
    }

private:
    QColor m_color;
};

// A dot as wide as the width it picks (plus 3 points), bright for the current width.
class WidthButton final : public BarButton {
public:
    WidthButton(double widthPt, QWidget* parent)
        : BarButton(kWidthFrame, parent)
        , m_diameterPt(widthPt + 3) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        if (underMouse() && !isChecked()) {
            painter.setBrush(withAlpha(theme::kText, 0.09));
            painter.drawRoundedRect(QRectF(rect()), kButtonRadiusPt, kButtonRadiusPt);
        }
        QRectF dot(0, 0, m_diameterPt, m_diameterPt);
        dot.moveCenter(QRectF(rect()).center());
        painter.setBrush(withAlpha(theme::kText, isChecked() ? 0.9 : 0.4));
        painter.drawEllipse(dot);
    }

private:
    double m_diameterPt;
};

class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(1, kDividerHeightPt);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), withAlpha(theme::kText, 0.14));
    }
};

QHBoxLayout* groupLayout(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QString colorName(AnnotationColor color) {
    switch (color) {
    case AnnotationColor::Red:
        return QStringLiteral("red");
    case AnnotationColor::Orange:
        return QStringLiteral("orange");
    case AnnotationColor::Yellow:
        return QStringLiteral("yellow");
    case AnnotationColor::Green:
        return QStringLiteral("green");
    case AnnotationColor::Blue:
        return QStringLiteral("blue");
    case AnnotationColor::White:
        return QStringLiteral("white");
    case AnnotationColor::Black:
        return QStringLiteral("black");
    }
    return {};
}

} // namespace

QString AnnotationToolbar::toolSymbol(AnnotationTool tool) {
    switch (tool) {
    case AnnotationTool::Pencil:
        return QStringLiteral("pencil.tip");
    case AnnotationTool::Highlight:
        return QStringLiteral("highlighter");
    case AnnotationTool::Line:
        return QStringLiteral("line.diagonal");
    case AnnotationTool::Arrow:
        return QStringLiteral("arrow.up.right");
    case AnnotationTool::Rect:
        return QStringLiteral("rectangle");
    case AnnotationTool::Ellipse:
        return QStringLiteral("circle");
    case AnnotationTool::Text:
        return QStringLiteral("textformat");
    case AnnotationTool::Step:
        return QStringLiteral("1.circle");
    case AnnotationTool::Blur:
        return QStringLiteral("eye.slash");
    }
    return {};
}

QString AnnotationToolbar::toolTip(AnnotationTool tool) {
    switch (tool) {
    case AnnotationTool::Pencil:
        return tr("Pencil (P)");
    case AnnotationTool::Highlight:
        return tr("Highlighter (H)");
    case AnnotationTool::Line:
        return tr("Line (L)");
    case AnnotationTool::Arrow:
        return tr("Arrow (A)");
    case AnnotationTool::Rect:
        return tr("Rectangle (R)");
    case AnnotationTool::Ellipse:
        return tr("Circle (C)");
    case AnnotationTool::Text:
        return tr("Text (T)");
    case AnnotationTool::Step:
        return tr("Numbered step — each click adds 1, 2, 3… (S)");
    case AnnotationTool::Blur:
        return tr("Blur (B)");
    }
    return {};
}

AnnotationToolbar::AnnotationToolbar(AnnotationStore& store, AnnotationToolbarActions actions,
                                     QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_actions(std::move(actions)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    buildLayout();

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(withAlpha(Qt::black, 0.35));
    shadow->setBlurRadius(12);
    shadow->setOffset(0, 3);
    setGraphicsEffect(shadow);

    connect(&m_store, &AnnotationStore::changed, this, &AnnotationToolbar::syncWithStore);
    syncWithStore();
}

void AnnotationToolbar::buildLayout() {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 7, 12, 7);
    row->setSpacing(kGroupSpacingPt);

    auto* tools = groupLayout(kToolSpacingPt);
    for (std::size_t index = 0; index < kAllAnnotationTools.size(); ++index) {
        const AnnotationTool tool = kAllAnnotationTools[index];
        auto* button = new SymbolButton(toolSymbol(tool), kActionSymbolFontPt, kActionFrame,
                                        theme::kText, this);
        button->setObjectName(QStringLiteral("tool.") + rawValue(tool));
        button->setCheckable(true);
        button->setToolTip(toolTip(tool));
        connect(button, &QAbstractButton::clicked, this, [this, tool] {
            m_store.setCurrentTool(tool);
            syncWithStore(); // a click on the current tool must not leave it unchecked
        });
        tools->addWidget(button);
        m_toolButtons[index] = button;
    }
    row->addLayout(tools);
    row->addWidget(new Divider(this));

    auto* swatches = groupLayout(kSwatchSpacingPt - 2);
    for (std::size_t index = 0; index < kPalette.size(); ++index) {
        const AnnotationColor color = kPalette[index];
        auto* swatch = new SwatchButton(toQColor(color), this);
        swatch->setObjectName(QStringLiteral("color.") + colorName(color));
        swatch->setCheckable(true);
        connect(swatch, &QAbstractButton::clicked, this, [this, color] {
            m_store.setCurrentColor(color);
            syncWithStore();
        });
        swatches->addWidget(swatch);
        m_swatches[index] = swatch;
    }
    row->addLayout(swatches);
    row->addWidget(new Divider(this));

    auto* widths = groupLayout(kToolSpacingPt);
    for (std::size_t index = 0; index < kLineWidthChoices.size(); ++index) {
        const double width = kLineWidthChoices[index];
        auto* button = new WidthButton(width, this);
        button->setObjectName(QStringLiteral("width.") + QString::number(width));
        button->setCheckable(true);
        button->setToolTip(tr("Line thickness"));
        connect(button, &QAbstractButton::clicked, this, [this, width] {
            m_store.setCurrentLineWidth(width);
            syncWithStore();
        });
        widths->addWidget(button);
        m_widthButtons[index] = button;
    }
    row->addLayout(widths);
    row->addWidget(new Divider(this));

    const auto addAction = [this, row](const QString& name, const QString& symbol,
                                       const QString& tip, const std::function<void()>& action) {
        auto* button =
            new SymbolButton(symbol, kActionSymbolFontPt, kActionFrame, theme::kText, this);
        button->setObjectName(name);
        button->setToolTip(tip);
        connect(button, &QAbstractButton::clicked, this, action);
        row->addWidget(button);
        return button;
    };

    m_undoButton = addAction(QStringLiteral("undo"), QStringLiteral("arrow.uturn.backward"),
                             tr("Undo (Ctrl+Z)"), [this] { m_store.undo(); });
    row->addWidget(new Divider(this));

    if (m_actions.onRemoveBackground) {
        addAction(QStringLiteral("removeBackground"), QStringLiteral("wand.and.stars"),
                  tr("Remove background — lift the subject onto a transparent background"),
                  [this] { m_actions.onRemoveBackground(); });
    }
    addAction(QStringLiteral("recognize"), QStringLiteral("text.viewfinder"),
              tr("Copy recognized text (OCR)"), [this] {
                  if (m_actions.onOCR) {
                      m_actions.onOCR();
                  }
              });
    addAction(QStringLiteral("copy"), QStringLiteral("doc.on.doc"), tr("Copy image (Ctrl+C)"),
              [this] {
                  if (m_actions.onCopy) {
                      m_actions.onCopy();
                  }
              });
    if (m_actions.onSave) {
        addAction(QStringLiteral("save"), QStringLiteral("square.and.arrow.down"),
                  tr("Save as… (Ctrl+S)"), [this] { m_actions.onSave(); });
    }
    if (m_actions.onDone) {
        auto* done = new SymbolButton(QStringLiteral("checkmark.circle.fill"), 16, kActionFrame,
                                      theme::kGreen, this);
        done->setObjectName(QStringLiteral("done"));
        done->setToolTip(tr("Pin to the right side (Enter)"));
        connect(done, &QAbstractButton::clicked, this, [this] { m_actions.onDone(); });
        row->addWidget(done);
    }
    if (m_actions.onCancel) {
        auto* cancel =
            new SymbolButton(QStringLiteral("xmark"), 12, QSize(24, 24), theme::kText, this);
        cancel->setObjectName(QStringLiteral("cancel"));
        cancel->setToolTip(tr("Cancel (Esc)"));
        connect(cancel, &QAbstractButton::clicked, this, [this] { m_actions.onCancel(); });
        row->addWidget(cancel);
    }
}

void AnnotationToolbar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Ctrl+Z, Ctrl+C and Ctrl+S are taken where the window receives its keys, before the
    // widget with the focus (a label's field) sees them.
    QWindow* handle = window()->windowHandle();
    if (!m_actions.bindsShortcuts || handle == m_keyWindow) {
        return;
    }
    if (m_keyWindow) {
        m_keyWindow->removeEventFilter(this);
    }
    m_keyWindow = handle;
    if (handle) {
        handle->installEventFilter(this);
    }
}

bool AnnotationToolbar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_keyWindow || event->type() != QEvent::KeyPress || !isVisible()) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!(key->modifiers() & Qt::ControlModifier)) {
        return false;
    }
    // By key position: the same keys in every layout, Ukrainian alone included.
    switch (KeyPositions::fromKeyEvent(*key).value_or(0xffff)) {
    case keypos::Z:
        m_store.undo();
        return true;
    case keypos::C:
        if (m_actions.onCopy) {
            m_actions.onCopy();
        }
        return true;
    case keypos::S:
        if (m_actions.onSave) {
            m_actions.onSave();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void AnnotationToolbar::syncWithStore() {
    for (std::size_t index = 0; index < m_toolButtons.size(); ++index) {
        m_toolButtons[index]->setChecked(m_store.currentTool() == kAllAnnotationTools[index]);
    }
    for (std::size_t index = 0; index < m_swatches.size(); ++index) {
        m_swatches[index]->setChecked(m_store.currentColor() == kPalette[index]);
    }
    for (std::size_t index = 0; index < m_widthButtons.size(); ++index) {
        m_widthButtons[index]->setChecked(m_store.currentLineWidth() == kLineWidthChoices[index]);
    }
    m_undoButton->setEnabled(m_store.canUndo());
}

void AnnotationToolbar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // A dark translucent plate: what lies behind shows through faintly, as frosted
    // materials do, while the symbols keep their contrast.
    painter.setPen(QPen(withAlpha(theme::kText, 0.10), 1));
    painter.setBrush(withAlpha(theme::kElev, 0.92));
    painter.drawRoundedRect(bar, kBarRadiusPt, kBarRadiusPt);
}

} // namespace ivra
