#include <QTemporaryDir>
#include <QTest>

#include "imageio/AtomicFile.h"
#include "imageio/ImageCodec.h"
#include "support/TestSupport.h"

using namespace ivra;

class AtomicFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newFilesNeverReplaceExistingOnes();
    void pngAndJpegRoundTrip();
};

void AtomicFileTest::newFilesNeverReplaceExistingOnes() {
    QTemporaryDir dir;
    const auto first =
        imageio::writeNewFile(dir.path(), QStringLiteral("Shot"), QStringLiteral("png"), "one");
    const auto second =
        imageio::writeNewFile(dir.path(), QStringLiteral("Shot"), QStringLiteral("png"), "two");
    QVERIFY(first && second);
    QCOMPARE(QFileInfo(*first).fileName(), QStringLiteral("Shot.png"));
    QCOMPARE(QFileInfo(*second).fileName(), QStringLiteral("Shot (2).png"));
    QCOMPARE(test::readFile(*first), QByteArray("one"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void AtomicFileTest::pngAndJpegRoundTrip() {
    QImage image(64, 32, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30, 128));
    const auto png = imageio::encodePng(image);
    QVERIFY(png);
    const QImage back = imageio::decode(*png);
    QCOMPARE(back.size(), image.size());
    QCOMPARE(back.pixelColor(5, 5), QColor(10, 200, 30, 128));
    const auto jpeg = imageio::encodeJpeg(image, 0.9);
    QVERIFY(jpeg && jpeg->startsWith("\xFF\xD8"));
    QVERIFY(imageio::decode(*jpeg).pixelColor(5, 5).green() > 200);
}

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "AtomicFileTest.moc"
