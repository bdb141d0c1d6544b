#include "editor/ui/Toast.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTimer>
#include <QtMath>

#include "presentation/Theme.h"

namespace ivra {

namespace {

constexpr int kHorizontalPaddingPt = 14;
constexpr int kVerticalPaddingPt = 7;
constexpr int kBottomMarginPt = 24;
constexpr int kFontPixelSize = 13;

} // namespace

Toast::Toast(QWidget* parent)
    : QWidget(parent) {
    QFont font = this->font();
    font.setPixelSize(kFontPixelSize);
    font.setWeight(QFont::Medium);
    setFont(font);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    hide();
    if (parent) {
        parent->installEventFilter(this);
    }
}

void Toast::showMessage(const QString& message) {
    m_message = message;
    place();
    show();
    raise();
    update();
    QPointer<Toast> self(this);
    const auto clearIfAlive = [self] {
        if (self) {
            self->clear();
        }
    };
    if (m_scheduler) {
        m_scheduler(kDurationMs, clearIfAlive);
    } else {
        QTimer::singleShot(kDurationMs, this, clearIfAlive);
    }
    emit messageChanged();
}

void Toast::clear() {
    if (m_message.isEmpty()) {
        return;
    }
    m_message.clear();
    hide();
    emit messageChanged();
}

void Toast::place() {
    const QFontMetricsF metrics(font());
    const QSize size(qCeil(metrics.horizontalAdvance(m_message)) + 2 * kHorizontalPaddingPt,
                     qCeil(metrics.height()) + 2 * kVerticalPaddingPt);
    resize(size);
    if (const QWidget* host = parentWidget()) {
        move((host->width() - size.width()) / 2, host->height() - kBottomMarginPt - size.height());
    }
}

bool Toast::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible()) {
        place();
    }
    return QWidget::eventFilter(watched, event);
}

void Toast::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = capsule.height() / 2;
    QColor plate = theme::kElev;
    plate.setAlphaF(0.94);
    QColor edge = theme::kText;
    edge.setAlphaF(0.12);
    painter.setPen(QPen(edge, 1));
    painter.setBrush(plate);
    painter.drawRoundedRect(capsule, radius, radius);
    painter.setPen(theme::kText);
    painter.drawText(rect(), Qt::AlignCenter, m_message);
}

} // namespace ivra
