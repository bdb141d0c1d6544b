#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QScreen>
#include <QTest>

#include "LibraryTestSupport.h"
#include "library/HistoryListModel.h"
#include "library/HistoryStore.h"
#include "library/ui/HistoryBarController.h"
#include "library/ui/HistoryBarPanel.h"
#include "presentation/Theme.h"
#include "services/PointerPressMonitor.h"
#include "support/ForeignWindow.h"
#include "support/TestSupport.h"
#include "support/Xdotool.h"

using namespace ivra;

namespace {

const QColor kPictureColor(40, 120, 200);

using test::xdotool;

bool isNear(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) <= 4 && qAbs(a.green() - b.green()) <= 4 &&
           qAbs(a.blue() - b.blue()) <= 4;
}

// Counts key presses of one key reaching the objects it watches.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(int key)
        : m_key(key) {}
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == m_key) {
            ++count;
        }
        return false;
    }

private:
    int m_key;
};

} // namespace

// The shelf under the harness's X server and window manager, clicked and typed at with
// xdotool; clicks elsewhere go to another client's window.
class HistoryBarTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::LibraryFolders> m_folders;
    std::unique_ptr<CaptureRepository> m_repository;
    std::unique_ptr<HistoryBarController> m_bar;
    // The desktop's own view of presses: once it has seen one, the shelf's monitor has
    // been sent it too.
    std::unique_ptr<PointerPressMonitor> m_presses;
    int m_pressesSeen = 0;
    QList<QImage> m_copied;
    QList<QImage> m_opened;

    CaptureRecord store(int minutesAgo, QSize size = {320, 200}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(kPictureColor);
        const auto record = m_repository->insert(
            image, std::nullopt, QDateTime::currentDateTime().addSecs(-60 * minutesAgo));
        if (!record) {
            qFatal("the capture was not stored");
        }
        return *record;
    }
    HistoryBarPanel& panel() const { return *m_bar->panel(); }
    HistoryBarView& view() const { return panel().view(); }
    QListView& row() const { return view().row(); }
    // The window manager's active window (_NET_ACTIVE_WINDOW), empty when none.
    static QByteArray activeWindow() {
        return test::runProcess(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")})
            .standardOutput.trimmed();
    }
    // Shows the shelf and waits until it is on screen with the keyboard.
    void showShelf() {
        m_bar->show();
        waitUntilActive();
    }
    // Until the shelf has the keyboard and the window manager says so too: by then any
    // focus change it still had queued (a window of the last test going away) is behind us.
    void waitUntilActive() {
        QVERIFY(QTest::qWaitForWindowActive(&panel()));
        const QByteArray shelf = QByteArray::number(panel().winId());
        QTRY_COMPARE(
            test::runProcess(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")})
                .standardOutput.trimmed(),
            shelf);
    }
    QRect itemRect(int rowIndex) const {
        return row().visualRect(row().model()->index(rowIndex, 0));
    }
    QPoint globalAt(int rowIndex, HistoryCardView::Part part) const {
        const QRect item = itemRect(rowIndex);
        const QRect target = part == HistoryCardView::Part::Thumbnail
                                 ? HistoryCardView::thumbnailRect(item)
                                 : HistoryCardView::buttonRect(item, part);
        return row().viewport()->mapToGlobal(target.center());
    }
    // Hovers the card first, so that its buttons show, then clicks.
    void clickCard(int rowIndex, HistoryCardView::Part part) {
        test::movePointerTo(row().viewport()->mapToGlobal(
            HistoryCardView::thumbnailRect(itemRect(rowIndex)).center()));
        click(globalAt(rowIndex, part));
    }
    // Clicks and waits until the desktop has reported the press, then lets the shelf's
    // monitor and anything it queued run.
    void click(QPoint global) {
        const int before = m_pressesSeen;
        test::clickAt(global);
        QTRY_VERIFY(m_pressesSeen > before);
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
        }
    }
    const CaptureRecord& recordAt(int rowIndex) const {
        return static_cast<const HistoryListModel*>(row().model())->record(rowIndex);
    }
    QColor pixelAt(QPoint viewportPoint) const {
        const QImage grabbed = row().viewport()->grab().toImage();
        return grabbed.pixelColor(viewportPoint * grabbed.devicePixelRatio());
    }

private Q_SLOTS:
    void initTestCase() {
        m_presses = createPointerPressMonitor();
        QVERIFY2(m_presses, "no XInput 2 on this X server");
        QVERIFY(m_presses->start([this](QPoint) { ++m_pressesSeen; }));
    }
    void init() {
        m_folders = std::make_unique<test::LibraryFolders>();
        m_repository =
            std::make_unique<CaptureRepository>(*m_folders->settings, m_folders->baseFolder);
        m_copied.clear();
        m_opened.clear();
        HistoryCardActions actions;
        actions.copyImage = [this](const QImage& image) { m_copied << image; };
        actions.openInEditor = [this](const QImage& image) { m_opened << image; };
        m_bar = std::make_unique<HistoryBarController>(*m_repository, actions,
                                                       createPointerPressMonitor());
        test::movePointerTo({1900, 1000});
    }
    void cleanup() {
        m_bar.reset();
        m_repository.reset();
        m_folders.reset();
    }

    void emptyLibraryAndThePinnedFilter() {
        showShelf();
        // Across the top of the main screen's free area, 250 points tall.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QTRY_COMPARE(panel().geometry(),
                     QRect(available.left(), available.top(), available.width(), 250));
        QVERIFY(view().showsEmptyState());
        QCOMPARE(view().emptyText().text(), QStringLiteral("No screenshots yet"));
        QCOMPARE(view().emptySymbolName(), QStringLiteral("camera.viewfinder"));
        QCOMPARE(view().countBadge().text(), QStringLiteral("0"));

        // The switch is clicked like a user would: the shelf stays open.
        click(view().pinnedButton().mapToGlobal(view().pinnedButton().rect().center()));
        QVERIFY(m_bar->store().pinnedOnly());
        QCOMPARE(view().emptyText().text(), QStringLiteral("No pinned screenshots yet"));
        QCOMPARE(view().emptySymbolName(), QStringLiteral("pin.slash"));
        // Empty space in the header does not close it either.
        click(view().mapToGlobal(QPoint(view().width() / 2, 20)));
        QVERIFY(m_bar->isShown());
    }

    void cardsFollowTheLibraryAndTheirButtons() {
        const CaptureRecord older = store(10);
        const CaptureRecord old = store(5);
        showShelf();
        QCOMPARE(view().countBadge().text(), QStringLiteral("2"));
        QCOMPARE(recordAt(0), old);

        // A capture stored while the shelf is open comes first, without any action.
        const CaptureRecord fresh = store(0);
        QTRY_COMPARE(view().countBadge().text(), QStringLiteral("3"));
        QCOMPARE(recordAt(0), fresh);

        // Delete: gone at once, files and all, no question asked, shelf still open.
        clickCard(0, HistoryCardView::Part::Delete);
        QCOMPARE(m_repository->fetchAll(), (QList<CaptureRecord>{old, older}));
        QVERIFY(!QFile::exists(fresh.imagePath));
        QCOMPARE(recordAt(0), old);
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.cbegin(), windows.cend(),
                               [](const QWidget* window) { return window->isVisible(); }),
                 1);

        // Pin, then unpin it under "Pinned": the card leaves the row.
        clickCard(1, HistoryCardView::Part::Pin);
        QVERIFY(m_repository->fetchAll().at(1).pinned);
        m_bar->store().setPinnedOnly(true);
        QCOMPARE(m_bar->store().count(), 1);
        QCOMPARE(recordAt(0), older);
        clickCard(0, HistoryCardView::Part::Pin);
        QVERIFY(!m_repository->fetchAll().at(1).pinned);
        QVERIFY(view().showsEmptyState());
        QCOMPARE(view().emptyText().text(), QStringLiteral("No pinned screenshots yet"));
        QVERIFY(m_bar->isShown());
    }

    void copyAndEditNeedTheStoredImage() {
        const CaptureRecord lost = store(1, {400, 100});
        const CaptureRecord kept = store(0, {300, 300});
        QVERIFY(QFile::remove(lost.imagePath) && QFile::remove(lost.thumbnailPath));
        showShelf();
        QCOMPARE(recordAt(1), lost);
        // The kept card shows its picture; the lost one a grey placeholder.
        const QPoint keptMiddle = HistoryCardView::thumbnailRect(itemRect(0)).center();
        const QPoint lostMiddle = HistoryCardView::thumbnailRect(itemRect(1)).center();
        // (The thumbnail is a JPEG: a shade off is fine.)
        QTRY_VERIFY(isNear(pixelAt(keptMiddle), kPictureColor));
        // The placeholder: the secondary grey at 15 % (over whatever lies behind).
        const QColor placeholder = pixelAt(lostMiddle);
        QVERIFY2(isNear(placeholder, theme::kDim) && qAbs(placeholder.alphaF() - 0.15) < 0.02,
                 qPrintable(placeholder.name(QColor::HexArgb)));

        clickCard(1, HistoryCardView::Part::Copy);
        clickCard(1, HistoryCardView::Part::Edit);
        clickCard(1, HistoryCardView::Part::Thumbnail);
        QVERIFY(m_copied.isEmpty() && m_opened.isEmpty());

        clickCard(0, HistoryCardView::Part::Copy);
        QCOMPARE(m_copied.size(), 1);
        QCOMPARE(m_copied.first().size(), QSize(300, 300));
        clickCard(0, HistoryCardView::Part::Edit);
        clickCard(0, HistoryCardView::Part::Thumbnail);
        QCOMPARE(m_opened.size(), 2);
        QVERIFY(m_bar->isShown());
        // The drag carries the image file.
        const auto* model = static_cast<const HistoryListModel*>(row().model());
        std::unique_ptr<QMimeData> dragged(model->mimeData({model->index(0)}));
        QCOMPARE(dragged->urls(), QList<QUrl>{QUrl::fromLocalFile(kept.imagePath)});
    }

    void escapeClosesTheShelfOnly() {
        KeyCounter escapes(Qt::Key_Escape);
        // Another window of Ivra's, where Escape keeps its own meaning.
        QLineEdit other;
        other.installEventFilter(&escapes);
        other.setGeometry(400, 500, 300, 40);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        showShelf();
        // Escape typed in the shelf: it closes, and no widget of the shelf sees the key.
        for (QWidget* widget : panel().findChildren<QWidget*>()) {
            widget->installEventFilter(&escapes);
        }
        panel().installEventFilter(&escapes);
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        QTRY_VERIFY(!m_bar->isShown());
        QCOMPARE(escapes.count, 0);

        // With the keyboard in the other window, the key is that window's, and the shelf
        // (shown, not active) stays.
        showShelf();
        click(other.mapToGlobal(other.rect().center()));
        QTRY_VERIFY(other.isActiveWindow());
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        QTRY_COMPARE(escapes.count, 1);
        QVERIFY(m_bar->isShown());
    }

    void clicksElsewhereCloseAndTheTrayToggles() {
        store(0);
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        // Like a panel: left alone by the window manager, and its clicks are its own, so
        // the keyboard stays where it is (only the pointer monitor tells of the click).
        test::ForeignWindow elsewhere(
            QRect(available.left() + 300, available.top() + 400, 400, 300), false, 0xffffff, true);
        m_bar->toggle();
        waitUntilActive();
        // A click on a card (it opens the editor) leaves the shelf open.
        clickCard(0, HistoryCardView::Part::Thumbnail);
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(m_bar->isShown());
        // A click in another application's window closes it, and that click still reaches
        // the window (no grab): the tray click that follows at once is the same gesture
        // and keeps the shelf closed.
        click(QPoint(available.left() + 500, available.top() + 550));
        QTRY_VERIFY(!m_bar->isShown());
        elsewhere.sync();
        QCOMPARE(elsewhere.clicksReceived(), 1);
        m_bar->toggle();
        QVERIFY(!m_bar->isShown());
        QTest::qWait(HistoryBarController::kSameClickMs);
        // Two later tray clicks: open (with fresh records), close.
        const CaptureRecord newer = store(0);
        m_bar->toggle();
        QVERIFY(m_bar->isShown());
        QCOMPARE(recordAt(0), newer);
        m_bar->toggle();
        QVERIFY(!m_bar->isShown());

        // The keyboard going to another application closes it too (once the window
        // manager has settled the focus of the showing).
        showShelf();
        QTest::qWait(HistoryBarController::kFocusSettleMs);
        elsewhere.focus();
        QTRY_VERIFY(!m_bar->isShown());
    }
};

QTEST_MAIN(HistoryBarTest)
#include "HistoryBarTest.moc"
