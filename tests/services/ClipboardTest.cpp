#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "imageio/ImageCodec.h"
#include "services/ClipboardService.h"
#include "services/DragDropService.h"
#include "support/TestSupport.h"

using namespace ivra;

class ClipboardTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void anotherClientReadsTheImageAsPng();
    void dragCarriesTheFileOrNothing();
};

void ClipboardTest::anotherClientReadsTheImageAsPng() {
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(QColor(200, 30, 60, 255));
    image.setPixelColor(3, 4, QColor(0, 0, 255));
    ClipboardService::copy(image);

    // xclip is a separate X client; our process must keep serving the selection while
    // it reads, so wait with the event loop running.
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                 QStringLiteral("-t"), QStringLiteral("image/png")});
    QTRY_COMPARE_WITH_TIMEOUT(xclip.state(), QProcess::NotRunning, 10000);
    QCOMPARE(xclip.exitCode(), 0);
    const QImage back = imageio::decode(xclip.readAllStandardOutput());
    QCOMPARE(back.size(), image.size());
    QCOMPARE(back.pixelColor(3, 4), QColor(0, 0, 255));
    QCOMPARE(back.pixelColor(10, 10), QColor(200, 30, 60));

    ClipboardService::copyText(QStringLiteral("Привіт"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Привіт"));
}

void ClipboardTest::dragCarriesTheFileOrNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ivra shot.png"));
    QVERIFY(test::writeFile(path, "png"));
    const auto present = DragDropService::itemProvider(path);
    QCOMPARE(present->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    QVERIFY(present->data(QStringLiteral("text/uri-list")).contains("Ivra%20shot.png"));

    QFile::remove(path);
    QVERIFY(DragDropService::itemProvider(path)->formats().isEmpty());
    QVERIFY(DragDropService::itemProvider(QString())->formats().isEmpty());
}

QTEST_MAIN(ClipboardTest)
#include "ClipboardTest.moc"
