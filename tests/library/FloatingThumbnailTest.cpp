#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QTest>

#include "LibraryTestSupport.h"
#include "imageio/ImageCodec.h"
#include "library/ui/FloatingThumbnailManager.h"
#include "library/ui/FloatingThumbnailWindow.h"
#include "library/ui/ThumbnailCardView.h"
#include "support/TestSupport.h"
#include "support/Xdotool.h"

using namespace ivra;

namespace {

const QColor kPictureColor(40, 120, 200);

using test::clickAt;
using test::movePointerTo;
using test::xdotool;

QString activeWindow() {
    return QString::fromLatin1(
        test::runProcess(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")})
            .standardOutput.trimmed());
}

QRect availableArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

int areaRight() {
    return availableArea().x() + availableArea().width();
}

int areaBottom() {
    return availableArea().y() + availableArea().height();
}

} // namespace

class FloatingThumbnailTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::LibraryFolders> m_folders;
    std::unique_ptr<CaptureRepository> m_repository;
    std::unique_ptr<FloatingThumbnailManager> m_manager;
    QList<QImage> m_opened;

    // Stores a capture of the given size and shows its card.
    CaptureRecord present(QSize sizePx) {
        QImage image(sizePx, QImage::Format_RGB32);
        image.fill(kPictureColor);
        const auto record = m_repository->insert(image, std::nullopt, QDateTime::currentDateTime());
        if (!record) {
            qFatal("the capture was not stored");
        }
        m_manager->present(*record, image);
        return *record;
    }
    FloatingThumbnailWindow& windowOf(const CaptureRecord& record) const {
        for (const auto& entry : m_manager->entries()) {
            if (entry.record.id == record.id) {
                return *entry.window;
            }
        }
        qFatal("no card for the record");
    }
    bool isStored(const CaptureRecord& record) const {
        return m_repository->fetchAll().contains(record) && QFile::exists(record.imagePath);
    }
    // The card's on-screen centre once the window manager has mapped it in its slot.
    static QPoint settledCentre(FloatingThumbnailWindow& window) {
        const QRect slot = window.targetGeometry();
        if (!QTest::qWaitForWindowExposed(&window) ||
            !QTest::qWaitFor([&] { return window.geometry() == slot; })) {
            qWarning() << "card not in place:" << window.geometry() << "expected" << slot;
        }
        return slot.center();
    }

private Q_SLOTS:
    void init() {
        m_folders = std::make_unique<test::LibraryFolders>();
        m_repository =
            std::make_unique<CaptureRepository>(*m_folders->settings, m_folders->baseFolder);
        m_opened.clear();
        m_manager = std::make_unique<FloatingThumbnailManager>(
            *m_repository, [this](const QImage& image) { m_opened << image; });
        m_manager->setAnimationDurationMs(0);
        movePointerTo({5, 5});
    }
    void cleanup() {
        m_manager.reset();
        m_repository.reset();
        m_folders.reset();
    }

    void cardSizeFollowsTheImage_data() {
        QTest::addColumn<QSize>("imagePx");
        QTest::addColumn<QSize>("cardPt");
        QTest::newRow("landscape") << QSize(1600, 1000) << QSize(224, 140);
        QTest::newRow("square") << QSize(300, 300) << QSize(224, 200);
        QTest::newRow("tall") << QSize(10, 1000) << QSize(224, 200);
        QTest::newRow("wide") << QSize(2000, 100) << QSize(224, 56);
        QTest::newRow("just inside") << QSize(2000, 1000) << QSize(224, 112);
        QTest::newRow("one pixel wide") << QSize(1, 300) << QSize(224, 200);
        QTest::newRow("empty") << QSize(0, 0) << QSize(224, 56);
    }
    void cardSizeFollowsTheImage() {
        QFETCH(QSize, imagePx);
        QFETCH(QSize, cardPt);
        QCOMPARE(FloatingThumbnailManager::cardSizePt(imagePx), cardPt);
    }

    void cardsStackUpwardsAndCloseDiscardsTheCapture() {
        // The first card slides in from beyond the screen's right edge.
        m_manager->setAnimationDurationMs(200);
        const CaptureRecord oldest = present({2000, 100});
        FloatingThumbnailWindow& first = windowOf(oldest);
        QVERIFY(first.geometry().x() >= QGuiApplication::primaryScreen()->geometry().right());
        QTRY_COMPARE(first.geometry(),
                     QRect(areaRight() - 14 - 224, areaBottom() - 16 - 56, 224, 56));
        m_manager->setAnimationDurationMs(0);

        const CaptureRecord middle = present({1600, 1000});
        const CaptureRecord newest = present({10, 1000});
        QCOMPARE(m_manager->entries().size(), 3);
        QCOMPARE(m_manager->entries().at(0).record, newest);
        QCOMPARE(m_manager->entries().at(2).record, oldest);

        const int x = areaRight() - 14 - 224;
        const QRect newestSlot(x, areaBottom() - 16 - 200, 224, 200);
        const QRect middleSlot(x, newestSlot.top() - 10 - 140, 224, 140);
        const QRect oldestSlot(x, middleSlot.top() - 10 - 56, 224, 56);
        QTRY_COMPARE(windowOf(newest).geometry(), newestSlot);
        QTRY_COMPARE(windowOf(middle).geometry(), middleSlot);
        QTRY_COMPARE(windowOf(oldest).geometry(), oldestSlot);

        // The window manager keeps them above other windows, and on every workspace.
        const QString id = QString::number(first.winId());
        const QByteArray state =
            test::runProcess(QStringLiteral("xprop"),
                             {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_STATE")})
                .standardOutput;
        QVERIFY2(state.contains("_NET_WM_STATE_ABOVE"), state.constData());
        xdotool({QStringLiteral("set_desktop"), QStringLiteral("1")});
        const auto viewable = [&id] {
            return test::runProcess(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id})
                .standardOutput.contains("IsViewable");
        };
        QVERIFY(QTest::qWaitFor(viewable, 1000));
        xdotool({QStringLiteral("set_desktop"), QStringLiteral("0")});

        // Close the middle card with its own button: pointer over the card, then the button.
        FloatingThumbnailWindow& middleWindow = windowOf(middle);
        movePointerTo(middleWindow.geometry().center());
        QTRY_VERIFY(middleWindow.card().isHovering());
        const QRect closeButton = middleWindow.card().closeButtonRect();
        clickAt(middleWindow.mapToGlobal(closeButton.center()));
        QTRY_COMPARE(m_manager->entries().size(), 2);
        QVERIFY(!isStored(middle));
        QVERIFY(!QFile::exists(middle.thumbnailPath));
        QTRY_COMPARE(windowOf(oldest).geometry(), QRect(x, newestSlot.top() - 10 - 56, 224, 56));
        QCOMPARE(windowOf(newest).geometry(), newestSlot);
        QVERIFY(isStored(newest) && isStored(oldest));
        QVERIFY(m_opened.isEmpty());
    }

    void openAndCopyKeepTheCapture() {
        const CaptureRecord copied = present({640, 400});
        const CaptureRecord opened = present({800, 500});

        clickAt(settledCentre(windowOf(opened)));
        QTRY_COMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().size(), QSize(800, 500));
        QCOMPARE(m_manager->entries().size(), 1);
        QVERIFY(isStored(opened));

        // The remaining card moves down into the freed slot; its copy button shows on hover.
        FloatingThumbnailWindow& window = windowOf(copied);
        movePointerTo(settledCentre(window));
        QTRY_VERIFY(window.card().isHovering());
        QApplication::clipboard()->clear();
        clickAt(window.mapToGlobal(window.card().copyButtonRect().center()));
        QTRY_VERIFY(m_manager->entries().isEmpty());
        const QImage onClipboard = imageio::decode(
            QApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")));
        QCOMPARE(onClipboard.size(), QSize(640, 400));
        QCOMPARE(onClipboard.pixelColor(320, 200), kPictureColor);
        QVERIFY(isStored(copied));
        QCOMPARE(m_opened.size(), 1);
    }

    void cardNeverTakesTheFocus() {
        QLineEdit editor;
        editor.setWindowTitle(QStringLiteral("where the user types"));
        editor.resize(300, 40);
        editor.move(200, 200);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                 QString::number(editor.winId())});
        QTRY_VERIFY(editor.hasFocus());
        const QString active = activeWindow();
        QCOMPARE(active, QString::number(editor.winId()));

        const CaptureRecord record = present({1200, 800});
        const QPoint centre = settledCentre(windowOf(record));
        // Give the window manager its chance to focus a newly mapped window.
        QTest::qWait(200);
        QCOMPARE(activeWindow(), active);
        // The card goes away when the button is released, so look while it is held down.
        xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                 QString::number(centre.y()), QStringLiteral("mousedown"), QStringLiteral("1")});
        QTest::qWait(200);
        QCOMPARE(activeWindow(), active);
        // Typing still reaches the window that had the keyboard.
        xdotool({QStringLiteral("type"), QStringLiteral("abc")});
        QTRY_COMPARE(editor.text(), QStringLiteral("abc"));
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        QTRY_COMPARE(m_opened.size(), 1);
        QCOMPARE(activeWindow(), active);
    }

    void buttonsShowOnlyWhileHovered() {
        const CaptureRecord record = present({1000, 600});
        FloatingThumbnailWindow& window = windowOf(record);
        ThumbnailCardView& card = window.card();
        const QPoint centre = settledCentre(window);
        const QPoint closeCentre = card.closeButtonRect().center();
        const QPoint copyCentre = card.copyButtonRect().center();
        const auto pixel = [&card](QPoint at) { return card.grab().toImage().pixelColor(at); };

        QVERIFY(!card.isHovering());
        QCOMPARE(pixel(closeCentre), kPictureColor);
        QCOMPARE(pixel(copyCentre), kPictureColor);

        movePointerTo(centre);
        QTRY_VERIFY(card.isHovering());
        // White glyphs on their dark plates.
        QCOMPARE(pixel(closeCentre), QColor(Qt::white));
        QCOMPARE(pixel(copyCentre), QColor(Qt::white));
        const QColor plate = pixel(card.closeButtonRect().topLeft() + QPoint(9, 2));
        QVERIFY2(plate.value() < kPictureColor.value() / 2, qPrintable(plate.name()));

        movePointerTo(window.geometry().topLeft() - QPoint(40, 40));
        QTRY_VERIFY(!card.isHovering());
        QCOMPARE(pixel(closeCentre), kPictureColor);
        QCOMPARE(pixel(copyCentre), kPictureColor);
    }

    void dismissingARecordWithoutACardDoesNothing() {
        const CaptureRecord shown = present({400, 300});
        const auto stranger = m_repository->insert(test::makePicture(20, 20), std::nullopt,
                                                   QDateTime::currentDateTime());
        QVERIFY(stranger);
        m_manager->dismiss(*stranger, true);
        QVERIFY(isStored(*stranger));
        QCOMPARE(m_manager->entries().size(), 1);

        // A second dismissal of the same card is as harmless.
        m_manager->dismiss(shown, true);
        QVERIFY(!isStored(shown));
        m_manager->dismiss(shown, true);
        QVERIFY(m_manager->entries().isEmpty());
        QVERIFY(isStored(*stranger));
    }
};

QTEST_MAIN(FloatingThumbnailTest)
#include "FloatingThumbnailTest.moc"
