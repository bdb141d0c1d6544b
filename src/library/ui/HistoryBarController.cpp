#include "library/ui/HistoryBarController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

#include "library/HistoryStore.h"
#include "library/ui/HistoryBarPanel.h"
#include "services/PointerPressMonitor.h"

namespace ivra {

namespace {

// Whether one of Ivra's own windows lies under a global position.
bool isOverIvraWindow(QPoint globalPosition) {
    const QList<QWindow*> windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.cbegin(), windows.cend(), [&](const QWindow* window) {
        return window->isVisible() && window->frameGeometry().contains(globalPosition);
    });
}

} // namespace

HistoryBarController::HistoryBarController(CaptureRepository& repository,
                                           HistoryCardActions actions,
                                           std::unique_ptr<PointerPressMonitor> pressMonitor,
                                           QObject* parent)
    : QObject(parent)
    , m_store(std::make_unique<HistoryStore>(repository))
    , m_actions(std::move(actions))
    , m_pressMonitor(std::move(pressMonitor)) {
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (!isShown()) {
                    return;
                }
                if (state == Qt::ApplicationActive) {
                    m_activeSinceShown = true;
                } else if (m_activeSinceShown && m_shownAt.elapsed() >= kFocusSettleMs) {
                    // The keyboard went to another application.
                    closeForElsewhere();
                }
            });
}

HistoryBarController::~HistoryBarController() {
    hide();
}

bool HistoryBarController::isShown() const {
    return m_panel && m_panel->isVisible();
}

void HistoryBarController::show() {
    m_store->reload();
    if (!m_panel) {
        m_panel = std::make_unique<HistoryBarPanel>(*m_store, m_actions);
        connect(&m_panel->view(), &HistoryBarView::closeRequested, this,
                &HistoryBarController::hide);
    }
    const QScreen* main = QGuiApplication::primaryScreen();
    m_activeSinceShown = QGuiApplication::applicationState() == Qt::ApplicationActive;
    m_shownAt.start();
    m_panel->present(main ? main->availableGeometry() : QRect());
    if (!m_monitoring) {
        qApp->installEventFilter(this);
        if (m_pressMonitor) {
            m_pressMonitor->start([this](QPoint position) { pressedAt(position); });
        }
        m_monitoring = true;
    }
}

void HistoryBarController::hide() {
    if (m_panel) {
        m_panel->hide();
    }
    if (m_monitoring) {
        qApp->removeEventFilter(this);
        if (m_pressMonitor) {
            m_pressMonitor->stop();
        }
        m_monitoring = false;
    }
}

void HistoryBarController::toggle() {
    if (isShown()) {
        hide();
        return;
    }
    if (m_closedForElsewhere.isValid() && m_closedForElsewhere.elapsed() < kSameClickMs) {
        return;
    }
    show();
}

void HistoryBarController::pressedAt(QPoint globalPosition) {
    // Clicks in the shelf or in Ivra's other windows (a floating thumbnail, the editor
    // opened from a card) leave it open.
    if (!isShown() || isOverIvraWindow(globalPosition)) {
        return;
    }
    closeForElsewhere();
}

void HistoryBarController::closeForElsewhere() {
    m_closedForElsewhere.start();
    // Not inside the notification that reported it.
    QMetaObject::invokeMethod(this, &HistoryBarController::hide, Qt::QueuedConnection);
}

bool HistoryBarController::belongsToPanel(QObject* object) const {
    if (!m_panel || !object) {
        return false;
    }
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        return widget->window() == m_panel.get();
    }
    return object == m_panel->windowHandle();
}

bool HistoryBarController::eventFilter(QObject* watched, QEvent* event) {
    // Escape typed in the shelf closes it and goes no further. In Ivra's other windows
    // (a capture overlay opened over the shelf, the editor) Escape keeps its own meaning.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && belongsToPanel(watched)) {
        QMetaObject::invokeMethod(this, &HistoryBarController::hide, Qt::QueuedConnection);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ivra
