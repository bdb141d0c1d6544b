// The X11 capture backend and the capture service on a real X server (scripts/headless.sh:
// LEFT-1 1920×1080 primary, RIGHT-1 1280×1024 to its right, openbox). Client windows are
// this program started again in a window mode, so their pid, class and pixels are known.

#include <functional>
#include <memory>
#include <optional>

#include <QtTest>

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QTimer>

#include "capture/ScreenCaptureService.h"
#include "platform/x11/X11FrontmostApplication.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;
using platform::X11ScreenCaptureBackend;

namespace {

const QColor kRootColour(0x33, 0x66, 0x99);

// Window mode: a window of one colour; prints "READY <id> <frame x y w h>" once shown.
class ColourWindow : public QRasterWindow {
public:
    explicit ColourWindow(QColor colour)
        : m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), m_colour);
        if (!m_announced) {
            m_announced = true;
            // Frame extents arrive from the window manager after the first paint.
            QTimer::singleShot(300, this, [this] {
                const QRect frame = frameGeometry();
                std::printf("READY %llu %d %d %d %d\n", static_cast<unsigned long long>(winId()),
                            frame.x(), frame.y(), frame.width(), frame.height());
                std::fflush(stdout);
            });
        }
    }

private:
    QColor m_colour;
    bool m_announced = false;
};

// --window NAME COLOUR X Y W H [frameless]
int runWindow(int argc, char** argv) {
    qputenv("RESOURCE_NAME", argv[2]);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QString::fromLocal8Bit(argv[2]));
    ColourWindow window{QColor(QString::fromLatin1(argv[3]))};
    if (argc > 8) {
        window.setFlags(Qt::Window | Qt::FramelessWindowHint);
    }
    window.setTitle(QStringLiteral("Probe %1").arg(QString::fromLocal8Bit(argv[2])));
    window.setGeometry(atoi(argv[4]), atoi(argv[5]), atoi(argv[6]), atoi(argv[7]));
    window.show();
    return app.exec();
}

template <typename T>
CaptureResult<T> await(const std::function<void(std::function<void(CaptureResult<T>)>)>& call) {
    std::optional<CaptureResult<T>> result;
    call([&result](CaptureResult<T> value) { result.emplace(std::move(value)); });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 5000)) {
        return CaptureError{QStringLiteral("no answer")};
    }
    return std::move(*result);
}

// A client window in a process of its own.
class Client {
public:
    Client(const QString& name, const QString& colour, const QRect& rect, bool frameless = false) {
        QStringList arguments{QStringLiteral("--window"),
                              name,
                              colour,
                              QString::number(rect.x()),
                              QString::number(rect.y()),
                              QString::number(rect.width()),
                              QString::number(rect.height())};
        if (frameless) {
            arguments << QStringLiteral("frameless");
        }
        m_process.start(QCoreApplication::applicationFilePath(), arguments);
    }
    ~Client() {
        m_process.kill();
        m_process.waitForFinished();
    }

    // Waits for the window to be shown; false when it never was.
    bool waitReady() {
        if (!QTest::qWaitFor([this] { return m_process.canReadLine(); }, 10000)) {
            return false;
        }
        const QList<QByteArray> fields = m_process.readLine().trimmed().split(' ');
        if (fields.size() != 6 || fields.at(0) != "READY") {
            return false;
        }
        id = fields.at(1).toUInt();
        frame = QRect(fields.at(2).toInt(), fields.at(3).toInt(), fields.at(4).toInt(),
                      fields.at(5).toInt());
        return true;
    }
    qint64 pid() const { return m_process.processId(); }
    void close() {
        m_process.kill();
        m_process.waitForFinished();
    }

    WindowID id = 0;
    QRect frame;

private:
    QProcess m_process;
};

bool run(const QString& program, const QStringList& arguments) {
    return test::runProcess(program, arguments).exitCode == 0;
}

bool setRootColour(const QColor& colour) {
    return run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), colour.name()});
}

} // namespace

class X11CaptureTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<X11ScreenCaptureBackend> m_backend;
    std::shared_ptr<platform::IniKeyValueStore> m_store;
    std::unique_ptr<SettingsStore> m_settings;

    ShareableContent content(ScreenCaptureBackend& backend, bool onScreenOnly = true) {
        auto result = await<ShareableContent>(
            [&](auto done) { backend.shareableContent(false, onScreenOnly, std::move(done)); });
        return result ? result.value() : ShareableContent{};
    }

    CaptureResult<QMap<DisplayID, QImage>> frozenFrames(ScreenCaptureBackend& backend,
                                                        const QList<CaptureDisplay>& displays) {
        ScreenCaptureService service(backend, *m_settings);
        return await<QMap<DisplayID, QImage>>(
            [&](auto done) { service.captureFrozenFrames(displays, std::move(done)); });
    }

    CaptureResult<QImage> windowImage(const CaptureWindow& window) {
        ScreenCaptureService service(*m_backend, *m_settings);
        return await<QImage>([&](auto done) { service.captureWindow(window, std::move(done)); });
    }

    static qsizetype indexOf(const ShareableContent& content, WindowID id) {
        for (qsizetype i = 0; i < content.windows.size(); ++i) {
            if (content.windows.at(i).windowID == id) {
                return i;
            }
        }
        return -1;
    }
    static std::optional<CaptureWindow> findWindow(const ShareableContent& content, WindowID id) {
        const qsizetype index = indexOf(content, id);
        return index < 0 ? std::nullopt : std::optional(content.windows.at(index));
    }

private slots:
    void initTestCase() {
        m_backend = X11ScreenCaptureBackend::create();
        QVERIFY(m_backend);
        QVERIFY(m_backend->usesSharedMemory());
        m_store = std::make_shared<platform::IniKeyValueStore>(
            QDir::temp().filePath(QStringLiteral("settings.conf")));
        m_settings = std::make_unique<SettingsStore>(m_store);
        QVERIFY(setRootColour(kRootColour));
        // Keep the pointer out of the way of the pixels checked below.
        QVERIFY(run(QStringLiteral("xdotool"), {"mousemove", "1900", "1060"}));
    }

    void displaysMatchQtScreens() {
        const ShareableContent found = content(*m_backend);
        QCOMPARE(found.displays.size(), 2);
        QCOMPARE(found.displays.at(0).name, QStringLiteral("LEFT-1"));
        QCOMPARE(found.displays.at(0).frame, QRect(0, 0, 1920, 1080));
        QCOMPARE(found.displays.at(1).name, QStringLiteral("RIGHT-1"));
        QCOMPARE(found.displays.at(1).frame, QRect(1920, 0, 1280, 1024));
        QVERIFY(found.displays.at(0).displayID != found.displays.at(1).displayID);
        const QList<QScreen*> screens = QGuiApplication::screens();
        QCOMPARE(screens.size(), 2);
        for (const QScreen* screen : screens) {
            const auto id = m_backend->displayID(*screen);
            QVERIFY(id);
            const auto display = std::find_if(found.displays.begin(), found.displays.end(),
                                              [&](const auto& d) { return d.displayID == *id; });
            QCOMPARE(display->name, screen->name());
            QCOMPARE(display->frame, screen->geometry());
        }
    }

    // Both grab methods read back what is on the screen, and the same pixels.
    void frozenFramesShowTheScreen() {
        Client window(QStringLiteral("frozen-probe"), QStringLiteral("#c03030"),
                      QRect(2000, 100, 200, 150), true);
        QVERIFY(window.waitReady());
        const QList<CaptureDisplay> displays = content(*m_backend).displays;
        const auto shared = frozenFrames(*m_backend, displays);
        const auto plainBackend = X11ScreenCaptureBackend::create({.useSharedMemory = false});
        QVERIFY(!plainBackend->usesSharedMemory());
        const auto plain = frozenFrames(*plainBackend, displays);
        QVERIFY2(shared, qPrintable(shared ? QString() : shared.error().description));
        QVERIFY(plain);

        const QImage left = shared.value().value(displays.at(0).displayID);
        const QImage right = shared.value().value(displays.at(1).displayID);
        QCOMPARE(left.size(), QSize(1920, 1080));
        QCOMPARE(right.size(), QSize(1280, 1024));
        QCOMPARE(left.pixel(10, 10), kRootColour.rgb());
        QCOMPARE(left.pixel(1919, 1079 - 40), kRootColour.rgb());
        const QPoint inside = window.frame.center() - QPoint(1920, 0);
        QCOMPARE(right.pixel(inside), QColor(0xc0, 0x30, 0x30).rgb());
        QCOMPARE(right.pixel(window.frame.topLeft() - QPoint(1920, 0)),
                 QColor(0xc0, 0x30, 0x30).rgb());
        QCOMPARE(right.pixel(window.frame.topLeft() - QPoint(1921, 1)), kRootColour.rgb());
        QCOMPARE(right.pixel(window.frame.bottomRight() - QPoint(1919, -1)), kRootColour.rgb());

        QCOMPARE(plain.value().value(displays.at(0).displayID), left);
        QCOMPARE(plain.value().value(displays.at(1).displayID), right);
        // Stored opaque: X leaves the padding byte of 24-bit pixels undefined.
        for (const QImage& image : {left, right, plain.value().first()}) {
            QCOMPARE(reinterpret_cast<const quint32*>(image.constScanLine(5))[5] >> 24, 0xffU);
        }

        // A display without a matching screen is asked for at twice its pixels.
        CaptureConfiguration doubled;
        doubled.sizePx = QSize(3840, 2160);
        const auto scaled = await<QImage>([&](auto done) {
            m_backend->captureImage(ContentFilter::display(displays.at(0).displayID), doubled,
                                    std::move(done));
        });
        QVERIFY(scaled);
        QCOMPARE(scaled.value().size(), QSize(3840, 2160));
        QCOMPARE(scaled.value().pixel(3000, 2000), kRootColour.rgb());
    }

    void failedCaptureGivesNoFrames() {
        const QList<CaptureDisplay> displays = content(*m_backend).displays;
        const CaptureDisplay missing{0xdead, QRect(0, 0, 640, 480), QStringLiteral("GONE")};
        const auto failed = frozenFrames(*m_backend, {displays.at(0), missing});
        QVERIFY(!failed);
        QVERIFY(failed.error().description.contains(QStringLiteral("57005")));
        const auto none = frozenFrames(*m_backend, {});
        QVERIFY(none);
        QVERIFY(none.value().isEmpty());
    }

    void pointerFollowsTheSetting() {
        const CaptureDisplay left = content(*m_backend).displays.at(0);
        QVERIFY(run(QStringLiteral("xdotool"), {"mousemove", "500", "400"}));
        const QRect aroundPointer(480, 380, 40, 40);
        auto pixelsDiffering = [&](bool showCursor) {
            m_store->setValue(QString::fromLatin1(SettingsStore::Keys::showCursorInCapture),
                              showCursor);
            const auto frames = frozenFrames(*m_backend, {left});
            const QImage image = frames ? frames.value().value(left.displayID) : QImage();
            int differing = 0;
            for (int y = aroundPointer.top(); y <= aroundPointer.bottom(); ++y) {
                for (int x = aroundPointer.left(); x <= aroundPointer.right(); ++x) {
                    differing += image.pixel(x, y) != kRootColour.rgb();
                }
            }
            return differing;
        };
        QCOMPARE(pixelsDiffering(false), 0);
        QVERIFY(pixelsDiffering(true) > 20);
        m_store->setValue(QString::fromLatin1(SettingsStore::Keys::showCursorInCapture), false);
        QVERIFY(run(QStringLiteral("xdotool"), {"mousemove", "1900", "1060"}));
    }

    // Frames wrap pooled memory: one still held must keep its pixels, and the pool stays
    // small however many frames come and go.
    void heldFrameKeepsItsPixels() {
        const CaptureDisplay left = content(*m_backend).displays.at(0);
        m_backend->warmUp();
        const auto first = frozenFrames(*m_backend, {left});
        QVERIFY(first);
        const QColor other(0x99, 0x66, 0x33);
        QVERIFY(setRootColour(other));
        const auto second = frozenFrames(*m_backend, {left});
        QVERIFY(setRootColour(kRootColour));
        QVERIFY(second);
        QCOMPARE(first.value().value(left.displayID).pixel(100, 100), kRootColour.rgb());
        QCOMPARE(second.value().value(left.displayID).pixel(100, 100), other.rgb());
        for (int i = 0; i < 10; ++i) {
            QVERIFY(frozenFrames(*m_backend, content(*m_backend).displays));
        }
        // The two held frames, at most two free segments, and at most one spare per
        // monitor still being prepared.
        QVERIFY(m_backend->sharedMemorySegmentCount() <= 6);
    }

    // Display frames in points and frames at twice the pixels, as a scaled Qt application
    // sees them.
    void scaledScreens() {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--scaled")});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitCode(), 0);
        const QByteArray output = child.readAllStandardOutput();
        QCOMPARE(output, QByteArray("LEFT-1 0,0 960x540 1920x1080 ok\n"
                                    "RIGHT-1 1920,0 640x512 1280x1024 ok\n"));
    }

    void windowsOfClients() {
        // The probe's desktop entry; the cover has none.
        const QString applications =
            qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
        QVERIFY(QDir().mkpath(applications));
        QVERIFY(test::writeFile(applications + QStringLiteral("/ivra-probe.desktop"),
                                "[Desktop Entry]\nType=Application\nName=Probe\nExec=true\n"));
        const auto backend = X11ScreenCaptureBackend::create();
        const auto frontmost = platform::X11FrontmostApplication::create();

        Client probe(QStringLiteral("Ivra-Probe"), QStringLiteral("#20a040"),
                     QRect(100, 100, 300, 200));
        QVERIFY(probe.waitReady());
        Client cover(QStringLiteral("cover"), QStringLiteral("#2040c0"), QRect(200, 150, 300, 200));
        QVERIFY(cover.waitReady());
        QVERIFY(run(QStringLiteral("xdotool"),
                    {"windowactivate", "--sync", QString::number(cover.id)}));
        QTest::qWait(200);

        ShareableContent found = content(*backend);
        auto probeWindow = findWindow(found, probe.id);
        auto coverWindow = findWindow(found, cover.id);
        QVERIFY(probeWindow && coverWindow);
        QVERIFY(indexOf(found, cover.id) < indexOf(found, probe.id));
        QCOMPARE(probeWindow->frame, QRectF(probe.frame));
        QCOMPARE(coverWindow->frame, QRectF(cover.frame));
        QVERIFY(probe.frame.height() > 200); // decorations included
        QCOMPARE(probeWindow->pid, probe.pid());
        QCOMPARE(probeWindow->title, QStringLiteral("Probe Ivra-Probe"));
        QCOMPARE(probeWindow->applicationID, std::optional<QString>(QStringLiteral("ivra-probe")));
        QCOMPARE(coverWindow->applicationID, std::nullopt);
        QCOMPARE(probeWindow->windowLayer, 0);
        QVERIFY(probeWindow->isOnScreen);
        QCOMPARE(frontmost->currentApplicationID(), std::nullopt);

        // The probe's own pixels, though the cover lies over part of it.
        const auto image = windowImage(*probeWindow);
        QVERIFY2(image, qPrintable(image ? QString() : image.error().description));
        QCOMPARE(image.value().size(), probe.frame.size());
        const QPoint coveredInProbe = QPoint(390, 290) - probe.frame.topLeft();
        QCOMPARE(image.value().pixel(coveredInProbe), QColor(0x20, 0xa0, 0x40).rgb());
        QVERIFY(image.value().pixel(probe.frame.width() / 2, 2) != QColor(0x20, 0xa0, 0x40).rgb());
        CaptureWindow tiny = *probeWindow;
        tiny.frame.setSize(QSizeF(0.4, 0.4));
        const auto tinyImage = windowImage(tiny);
        QVERIFY(tinyImage);
        QCOMPARE(tinyImage.value().size(), QSize(1, 1));

        QVERIFY(run(QStringLiteral("xdotool"),
                    {"windowactivate", "--sync", QString::number(probe.id)}));
        QTest::qWait(200);
        found = content(*backend);
        QVERIFY(indexOf(found, probe.id) < indexOf(found, cover.id));
        QCOMPARE(frontmost->currentApplicationID(),
                 std::optional<QString>(QStringLiteral("ivra-probe")));

        QVERIFY(run(QStringLiteral("xdotool"),
                    {"windowminimize", "--sync", QString::number(cover.id)}));
        // The window manager marks a minimised window hidden a moment after it goes.
        QTRY_VERIFY(!findWindow(content(*backend), cover.id));
        coverWindow = findWindow(content(*backend, false), cover.id);
        QVERIFY(coverWindow);
        QVERIFY(!coverWindow->isOnScreen);

        probe.close();
        QVERIFY(QTest::qWaitFor([&] { return !findWindow(content(*backend, false), probe.id); }));
        const auto closed = windowImage(*probeWindow);
        QVERIFY(!closed);
        QVERIFY(closed.error().description.contains(QStringLiteral("closed")));
    }
};

namespace {

// --scaled: prints each display's name, origin and size in points, and its frame's size,
// "ok" when the frame shows the root's colour.
int runScaled(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const auto backend = X11ScreenCaptureBackend::create();
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(
        QDir::temp().filePath(QStringLiteral("scaled.conf"))));
    const auto found = await<ShareableContent>(
        [&](auto done) { backend->shareableContent(false, true, std::move(done)); });
    ScreenCaptureService service(*backend, settings);
    const auto frames = await<QMap<DisplayID, QImage>>(
        [&](auto done) { service.captureFrozenFrames(found.value().displays, std::move(done)); });
    if (!frames) {
        return 1;
    }
    for (const CaptureDisplay& display : found.value().displays) {
        const QImage image = frames.value().value(display.displayID);
        std::printf("%s %d,%d %dx%d %dx%d %s\n", qPrintable(display.name), display.frame.x(),
                    display.frame.y(), display.width(), display.height(), image.width(),
                    image.height(),
                    image.pixel(image.width() / 3, image.height() / 3) == kRootColour.rgb()
                        ? "ok"
                        : "wrong colour");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 7 && qstrcmp(argv[1], "--window") == 0) {
        return runWindow(argc, argv);
    }
    if (argc > 1 && qstrcmp(argv[1], "--scaled") == 0) {
        return runScaled(argc, argv);
    }
    QGuiApplication app(argc, argv);
    X11CaptureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "X11CaptureTest.moc"
