// Size and scale rules of the capture service, session detection, and the checks on
// desktop-entry ids taken from other processes' windows.

#include <QtTest>

#include "capture/ScreenCaptureService.h"
#include "platform/SessionType.h"
#include "platform/x11/DesktopIdResolver.h"

using namespace ivra;
using Info = ScreenCaptureService::ScreenInfo;

class CaptureRulesTest : public QObject {
    Q_OBJECT

private slots:
    void displaySize_data() {
        QTest::addColumn<QList<Info>>("screens");
        QTest::addColumn<QSize>("expected");
        const Info retina{7, QRect(0, 0, 1440, 900), 2.0};
        const Info plain{9, QRect(1440, 0, 1440, 900), 1.0};
        const Info fractional{7, QRect(0, 0, 1440, 900), 1.25};
        QTest::newRow("scale 2") << QList<Info>{plain, retina} << QSize(2880, 1800);
        QTest::newRow("no matching screen") << QList<Info>{plain} << QSize(2880, 1800);
        QTest::newRow("no screens") << QList<Info>{} << QSize(2880, 1800);
        QTest::newRow("unknown id skipped")
            << QList<Info>{{std::nullopt, QRect(), 3.0}, retina} << QSize(2880, 1800);
        QTest::newRow("first match wins") << QList<Info>{fractional, retina} << QSize(1800, 1125);
        QTest::newRow("fraction dropped")
            << QList<Info>{{7, QRect(), 1.0007}} << QSize(1441, 900); // 1441.008 × 900.63
    }
    void displaySize() {
        QFETCH(QList<Info>, screens);
        QFETCH(QSize, expected);
        const CaptureDisplay display{7, QRect(0, 0, 1440, 900), QStringLiteral("A")};
        QCOMPARE(ScreenCaptureService::displaySizePx(
                     display, ScreenCaptureService::displayScale(7, screens)),
                 expected);
    }

    void windowSize_data() {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QSize>("expected");
        // Primary at scale 2, a secondary at scale 1 to its right.
        QTest::newRow("on the secondary") << QRectF(2000, 100, 300, 200) << QSize(300, 200);
        QTest::newRow("spanning both: first screen's scale")
            << QRectF(1400, 100, 100, 50) << QSize(200, 100);
        QTest::newRow("on no screen") << QRectF(9000, 9000, 10, 10) << QSize(20, 20);
        QTest::newRow("tiny window is one pixel") << QRectF(2000, 10, 0.4, 0.4) << QSize(1, 1);
        QTest::newRow("fraction dropped") << QRectF(2000, 10, 10.7, 3.99) << QSize(10, 3);
    }
    void windowSize() {
        QFETCH(QRectF, frame);
        QFETCH(QSize, expected);
        const QList<Info> screens{{1, QRect(0, 0, 1440, 900), 2.0},
                                  {2, QRect(1440, 0, 1920, 1080), 1.0}};
        QCOMPARE(ScreenCaptureService::windowSizePx(
                     frame, ScreenCaptureService::windowScale(frame, screens)),
                 expected);
    }

    void sessionType_data() {
        QTest::addColumn<QByteArray>("xdgSessionType");
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<platform::SessionType>("expected");
        using platform::SessionType;
        QTest::newRow("x11 session")
            << QByteArray("x11") << QByteArray("wayland-0") << QByteArray(":0") << SessionType::X11;
        QTest::newRow("wayland session")
            << QByteArray("wayland") << QByteArray() << QByteArray(":0") << SessionType::Wayland;
        QTest::newRow("tty: wayland socket") << QByteArray("tty") << QByteArray("wayland-0")
                                             << QByteArray(":0") << SessionType::Wayland;
        QTest::newRow("bare X server")
            << QByteArray() << QByteArray() << QByteArray(":1") << SessionType::X11;
        QTest::newRow("nothing") << QByteArray() << QByteArray() << QByteArray()
                                 << SessionType::Unknown;
    }
    void sessionType() {
        QFETCH(QByteArray, xdgSessionType);
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, display);
        QFETCH(platform::SessionType, expected);
        QCOMPARE(platform::detectSessionType(xdgSessionType.constData(), waylandDisplay.constData(),
                                             display.constData()),
                 expected);
    }

    void plainIDs_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("plain");
        QTest::newRow("reverse domain") << QStringLiteral("org.gnome.Nautilus") << true;
        QTest::newRow("dash and underscore") << QStringLiteral("my-app_2") << true;
        QTest::newRow("leading dash is a plain character") << QStringLiteral("-x") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("hidden") << QStringLiteral(".app") << false;
        QTest::newRow("parent") << QStringLiteral("a..b") << false;
        QTest::newRow("slash") << QStringLiteral("../../etc/passwd") << false;
        QTest::newRow("inner slash") << QStringLiteral("a/b") << false;
        QTest::newRow("space") << QStringLiteral("my app") << false;
        QTest::newRow("non-ASCII letter") << QStringLiteral("прог") << false;
        QTest::newRow("range-like") << QStringLiteral("a+b") << false;
        QTest::newRow("too long") << QString(256, QLatin1Char('a')) << false;
    }
    void plainIDs() {
        QFETCH(QString, id);
        QFETCH(bool, plain);
        QCOMPARE(platform::DesktopIdResolver::isPlainID(id), plain);
    }

    void wmClassCandidates() {
        QCOMPARE(
            platform::DesktopIdResolver::wmClassCandidates(QByteArray("navigator\0Firefox\0", 18)),
            (QStringList{"navigator", "Firefox", "firefox"}));
        QCOMPARE(platform::DesktopIdResolver::wmClassCandidates(QByteArray("Solo")),
                 (QStringList{"Solo", "solo"}));
    }
};

QTEST_GUILESS_MAIN(CaptureRulesTest)
#include "CaptureRulesTest.moc"
