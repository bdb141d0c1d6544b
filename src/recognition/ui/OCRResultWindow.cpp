#include "recognition/ui/OCRResultWindow.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "recognition/ui/OCRResultView.h"
#include "services/ClipboardService.h"

namespace ivra {

namespace {

// The product's dark palette.
const char* const kPanelStyle = R"(
#OCRResultPanel { background: rgb(10, 11, 13); }
#OCRResultTextFrame {
    background: rgb(19, 21, 26);
    border: 1px solid rgb(30, 34, 42);
    border-radius: 8px;
}
#OCRResultText {
    background: transparent;
    color: rgb(242, 244, 247);
    selection-background-color: rgb(74, 158, 255);
    selection-color: rgb(255, 255, 255);
}
#OCRResultCount { color: rgb(139, 146, 155); }
QPushButton {
    border-radius: 6px;
    padding: 5px 14px;
    min-height: 18px;
}
#OCRResultClose {
    background: rgb(24, 27, 33);
    border: 1px solid rgb(30, 34, 42);
    color: rgb(242, 244, 247);
}
#OCRResultClose:hover { background: rgb(30, 34, 42); }
#OCRResultClose:focus { border-color: rgb(74, 158, 255); }
#OCRResultCopy {
    background: rgb(74, 158, 255);
    border: 1px solid rgb(74, 158, 255);
    color: rgb(255, 255, 255);
}
#OCRResultCopy:hover { background: rgb(98, 172, 255); }
#OCRResultCopy:pressed { background: rgb(58, 136, 228); }
#OCRResultCopy:focus { border-color: rgb(170, 208, 255); }
#OCRResultCopy:disabled {
    background: rgb(30, 34, 42);
    border-color: rgb(30, 34, 42);
    color: rgb(86, 93, 102);
}
QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }
QScrollBar::handle:vertical { background: rgb(56, 62, 72); border-radius: 4px; min-height: 24px; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
)";

} // namespace

OCRResultWindow::OCRResultWindow(QObject* parent)
    : QObject(parent) {
}

OCRResultWindow::~OCRResultWindow() {
    // The shared instance outlives the application object; widgets cannot.
    if (QCoreApplication::instance()) {
        delete m_panel;
    }
}

OCRResultWindow& OCRResultWindow::shared() {
    static OCRResultWindow instance;
    return instance;
}

void OCRResultWindow::show(const QString& text) {
    // A new result replaces the panel rather than reusing it, so no state (selection,
    // "Copied") carries over from the previous text.
    if (m_panel) {
        m_panel->hide();
        m_panel->deleteLater();
    }

    // A floating utility window above ordinary windows, without a taskbar entry.
    auto* panel = new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    panel->setObjectName(QStringLiteral("OCRResultPanel"));
    panel->setWindowTitle(tr("Recognized Text"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet(QString::fromLatin1(kPanelStyle));

    auto* view = new OCRResultView(text, panel);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    connect(view, &OCRResultView::copyRequested, panel,
            [text] { ClipboardService::copyText(text); });
    connect(view, &OCRResultView::closeRequested, panel, &QWidget::hide);

    panel->resize(kWidthPx, kHeightPx);
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        QRect frame(QPoint(), panel->size());
        frame.moveCenter(screen->availableGeometry().center());
        panel->move(frame.topLeft());
    }

    m_panel = panel;
    panel->show();
    panel->raise();
    panel->activateWindow();
}

} // namespace ivra
