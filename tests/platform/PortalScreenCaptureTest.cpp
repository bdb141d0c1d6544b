#include <memory>
#include <optional>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "platform/portal/PortalScreenCaptureBackend.h"
#include "support/TestSupport.h"

using namespace ivra;
using namespace std::chrono_literals;

namespace {

const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// Two screens of different density (set up in main): the primary "MAIN" (300 x 160 points
// at 2x) right of "SIDE" (200 x 100 points at 1x), both off the origin. The portal's
// picture covers their bounding box, x 0..500 and y 20..180, at 2x.
const QRect kMainInImage(400, 0, 600, 320);
const QRect kSideInImage(0, 80, 400, 200);

// Each screen's area in its colour inside a one-pixel border of another, so that a cut
// one pixel off shows the wrong colour or transparency at its edge.
QImage desktopImage() {
    QImage image(1000, 320, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(kMainInImage, Qt::yellow);
    painter.fillRect(kMainInImage.adjusted(1, 1, -1, -1), Qt::blue);
    painter.fillRect(kSideInImage, Qt::green);
    painter.fillRect(kSideInImage.adjusted(1, 1, -1, -1), Qt::red);
    return image;
}

QScreen* screenNamed(const QString& name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name) {
            return screen;
        }
    }
    return nullptr;
}

} // namespace

// The desktop portal's Screenshot interface, on a connection of its own under the portal's
// name, answering each call as the test chose, as early as a real portal may.
class StubPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    std::optional<uint> response = 0; // nothing: never answers
    QString uri;                      // empty: saves the image into the folder
    QImage image;
    QString folder;
    // Answer on a request path of the portal's own choosing, as portals before handle
    // tokens did (after the call returned, or nobody could be listening yet).
    bool ignoresToken = false;

    int calls = 0;
    QString lastParentWindow;
    QVariantMap lastOptions;
    QString lastFile;
    QStringList closedRequests;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stub"));

    bool publish() {
        return bus.registerObject(kPortalPath, this, QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    void withdraw() {
        bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        bus.unregisterObject(kPortalPath);
    }

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString& parentWindow, const QVariantMap& options) {
        lastParentWindow = parentWindow;
        lastOptions = options;
        const QString path = kPortalPath + "/request/" +
                             message().service().mid(1).replace('.', '_') + '/' +
                             (ignoresToken ? QStringLiteral("own%1").arg(calls)
                                           : options["handle_token"].toString());
        ++calls;
        if (!response) {
            bus.registerVirtualObject(path, new RequestObject(path, closedRequests, this));
            return QDBusObjectPath(path);
        }
        QVariantMap results;
        if (*response == 0) {
            lastFile = QDir(folder).filePath(QStringLiteral("Screenshot %1.png").arg(calls));
            results["uri"] = uri.isEmpty() && image.save(lastFile)
                                 ? QUrl::fromLocalFile(lastFile).toString()
                                 : uri;
        }
        QDBusMessage signal = QDBusMessage::createSignal(
            path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << *response << results;
        if (ignoresToken) {
            QTimer::singleShot(20, this, [this, signal] { bus.send(signal); });
        } else {
            bus.send(signal);
        }
        return QDBusObjectPath(path);
    }

private:
    // A request object that only notes being closed.
    class RequestObject : public QDBusVirtualObject {
    public:
        RequestObject(QString path, QStringList& closed, QObject* parent)
            : QDBusVirtualObject(parent)
            , m_path(std::move(path))
            , m_closed(closed) {}
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
            m_closed.append(message.member() + ' ' + m_path);
            return true;
        }

    private:
        QString m_path;
        QStringList& m_closed;
    };
};

class PortalScreenCaptureTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void displaysAreTheScreensAndThereAreNoWindows();
    void cutsEachDisplayOutOfTheDesktop_data();
    void cutsEachDisplayOutOfTheDesktop();
    void deletesOnlyTheTemporaryFileOfTheRequest();
    void answersOtherThanAnImageAreErrors();
    void aPortalThatNeverAnswersTimesOut();

private:
    CaptureResult<QImage> capture(const ContentFilter& filter, QSize sizePx);
    // The error's description, or "image".
    QString failure(const ContentFilter& filter);
    DisplayID idOf(const QString& screen) const {
        return m_backend->displayID(*screenNamed(screen)).value_or(0);
    }
    ContentFilter display(const QString& screen) const {
        return ContentFilter::display(idOf(screen));
    }

    StubPortal m_portal;
    std::unique_ptr<platform::PortalScreenCaptureBackend> m_backend;
    int m_earlyCompletions = 0;
};

void PortalScreenCaptureTest::initTestCase() {
    QVERIFY2(screenNamed("MAIN") && screenNamed("SIDE"), "no two-screen configuration");
    QCOMPARE(QGuiApplication::primaryScreen()->name(), QStringLiteral("MAIN"));
    QVERIFY(m_portal.publish());
}

void PortalScreenCaptureTest::init() {
    m_portal.response = 0;
    m_portal.uri.clear();
    m_portal.ignoresToken = false;
    m_portal.image = desktopImage();
    m_portal.folder = QDir::tempPath();
    m_backend = std::make_unique<platform::PortalScreenCaptureBackend>(5s);
}

void PortalScreenCaptureTest::cleanup() {
    // Every completion came after its call had returned.
    QCOMPARE(m_earlyCompletions, 0);
}

CaptureResult<QImage> PortalScreenCaptureTest::capture(const ContentFilter& filter, QSize sizePx) {
    std::optional<CaptureResult<QImage>> result;
    bool returned = false;
    m_backend->captureImage(filter, {sizePx}, [&](CaptureResult<QImage> image) {
        m_earlyCompletions += returned ? 0 : 1;
        result = std::move(image);
    });
    returned = true;
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 10000)) {
        return CaptureError{QStringLiteral("no answer")};
    }
    return *result;
}

QString PortalScreenCaptureTest::failure(const ContentFilter& filter) {
    const CaptureResult<QImage> result = capture(filter, QSize(300, 160));
    return result.ok() ? QStringLiteral("image") : result.error().description;
}

void PortalScreenCaptureTest::displaysAreTheScreensAndThereAreNoWindows() {
    std::optional<CaptureResult<ShareableContent>> content;
    m_backend->shareableContent(
        true, true, [&](CaptureResult<ShareableContent> result) { content = std::move(result); });
    QVERIFY(!content);
    QTRY_VERIFY(content && content->ok());
    QVERIFY(content->value().windows.isEmpty());
    QCOMPARE(content->value().displays.size(), 2);
    // Frames in points from the primary screen's corner; ids the same as displayID gives.
    for (const CaptureDisplay& display : content->value().displays) {
        QCOMPARE(display.frame,
                 display.name == "MAIN" ? QRect(0, 0, 300, 160) : QRect(-200, 40, 200, 100));
        QCOMPARE(display.displayID, idOf(display.name));
    }
    QVERIFY(idOf("MAIN") != idOf("SIDE"));
}

void PortalScreenCaptureTest::cutsEachDisplayOutOfTheDesktop_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QSize>("sizePx");
    // The middle of each edge: the border's colour, or (invalid) a mix when scaled.
    QTest::addColumn<QColor>("edge");
    QTest::addColumn<QColor>("middle");

    QTest::newRow("primary at the desktop's scale")
        << "MAIN" << QSize(600, 320) << QColor(Qt::yellow) << QColor(Qt::blue);
    QTest::newRow("secondary at the desktop's scale")
        << "SIDE" << QSize(400, 200) << QColor(Qt::green) << QColor(Qt::red);
    QTest::newRow("secondary at its own scale")
        << "SIDE" << QSize(200, 100) << QColor() << QColor(Qt::red);
    QTest::newRow("any other size") << "MAIN" << QSize(97, 31) << QColor() << QColor(Qt::blue);
}

void PortalScreenCaptureTest::cutsEachDisplayOutOfTheDesktop() {
    QFETCH(QString, screen);
    QFETCH(QSize, sizePx);
    QFETCH(QColor, edge);
    QFETCH(QColor, middle);

    const CaptureResult<QImage> result = capture(display(screen), sizePx);
    QVERIFY2(result.ok(), result.ok() ? "" : qPrintable(result.error().description));
    const QImage& image = result.value();
    QCOMPARE(image.size(), sizePx);
    QCOMPARE(image.format(), QImage::Format_ARGB32);
    const int w = sizePx.width();
    const int h = sizePx.height();
    QCOMPARE(image.pixelColor(w / 2, h / 2), middle);
    for (const QPoint& point :
         {QPoint(w / 2, 0), QPoint(w / 2, h - 1), QPoint(0, h / 2), QPoint(w - 1, h / 2)}) {
        if (edge.isValid()) {
            QCOMPARE(image.pixelColor(point), edge);
        } else {
            // Some of the border, none of the transparency around the screen.
            QVERIFY(image.pixelColor(point) != middle);
            QCOMPARE(image.pixelColor(point).alpha(), 255);
        }
    }
    // Asked without a dialog, under a token of its own.
    QCOMPARE(m_portal.lastParentWindow, QString());
    QCOMPARE(m_portal.lastOptions.value("interactive"), QVariant(false));
    QCOMPARE(m_portal.lastOptions.value("modal"), QVariant(false));
    QVERIFY(!m_portal.lastOptions.value("handle_token").toString().isEmpty());
}

void PortalScreenCaptureTest::deletesOnlyTheTemporaryFileOfTheRequest() {
    // Written into the temporary folder for this request: Ivra's to clean up.
    QVERIFY(capture(display("SIDE"), QSize(200, 100)).ok());
    QVERIFY(!QFile::exists(m_portal.lastFile));

    // Saved among the user's pictures: the user's file.
    QVERIFY(QDir::home().mkpath("Pictures"));
    m_portal.folder = QDir::home().filePath("Pictures");
    QVERIFY(capture(display("SIDE"), QSize(200, 100)).ok());
    QVERIFY(QFile::exists(m_portal.lastFile));

    // A temporary file from before the request is not this request's.
    const QString old = QDir::temp().filePath("older.png");
    QVERIFY(desktopImage().save(old));
    QFile file(old);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                             QFileDevice::FileModificationTime));
    m_portal.uri = QUrl::fromLocalFile(old).toString();
    QVERIFY(capture(display("SIDE"), QSize(200, 100)).ok());
    QVERIFY(QFile::exists(old));
}

void PortalScreenCaptureTest::answersOtherThanAnImageAreErrors() {
    const ContentFilter main = display("MAIN");
    m_portal.response = 1;
    QVERIFY(failure(main).contains("cancelled"));
    QVERIFY(m_backend->preflightAccess());

    // A refusal is remembered until a screenshot succeeds again; asking changes nothing.
    m_portal.response = 2;
    QVERIFY(failure(main).contains("refused"));
    QVERIFY(!m_backend->preflightAccess());
    m_backend->requestAccess();
    QVERIFY(!m_backend->preflightAccess());
    // ... here by an old portal that picks its own request path.
    m_portal.response = 0;
    m_portal.ignoresToken = true;
    QCOMPARE(failure(main), QStringLiteral("image"));
    QVERIFY(m_backend->preflightAccess());
    m_portal.ignoresToken = false;

    m_portal.uri = QStringLiteral("https://example.org/shot.png");
    QVERIFY(failure(main).contains("cannot open"));
    const QString notAnImage = QDir::temp().filePath("shot.png");
    QVERIFY(test::writeFile(notAnImage, "not a picture"));
    m_portal.uri = QUrl::fromLocalFile(notAnImage).toString();
    QVERIFY(failure(main).contains("Could not read"));

    // A picture of other screens (they changed while the portal worked).
    m_portal.uri.clear();
    m_portal.image = desktopImage().copy(0, 0, 500, 320);
    QVERIFY(failure(main).contains("layout"));

    // Nothing to ask the portal about: no call at all.
    const int calls = m_portal.calls;
    QVERIFY(failure(ContentFilter::window(42)).contains("window"));
    QVERIFY(failure(ContentFilter::display(idOf("MAIN") ^ 1)).contains("display"));
    QCOMPARE(m_portal.calls, calls);

    // No portal on the bus.
    m_portal.withdraw();
    const QString noPortal = failure(main);
    QVERIFY(m_portal.publish());
    QVERIFY2(noPortal.contains("No desktop portal"), qPrintable(noPortal));
}

void PortalScreenCaptureTest::aPortalThatNeverAnswersTimesOut() {
    m_portal.response.reset();
    m_backend = std::make_unique<platform::PortalScreenCaptureBackend>(300ms);
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(failure(display("MAIN")).contains("did not answer"));
    QVERIFY(elapsed.elapsed() >= 250); // coarse timers may fire 5 % early
    // Withdrawn at the portal, so that no dialog of it stays up.
    QTRY_COMPARE(m_portal.closedRequests.size(), 1);
    QVERIFY(
        m_portal.closedRequests[0].startsWith("Close /org/freedesktop/portal/desktop/request/"));
}

int main(int argc, char** argv) {
    test::runOnPrivateSessionBus(argc, argv);
    const QString screens = QDir::temp().filePath("portal-test-screens.json");
    test::writeFile(screens, R"({"screens": [
        {"name": "MAIN", "x": 200, "y": 20, "width": 300, "height": 160, "dpr": 2},
        {"name": "SIDE", "x": 0, "y": 60, "width": 200, "height": 100, "dpr": 1}]})");
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens));
    QGuiApplication app(argc, argv);
    PortalScreenCaptureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PortalScreenCaptureTest.moc"
