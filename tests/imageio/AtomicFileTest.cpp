#include <sys/stat.h>

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
    void replacingLeavesNoTemporaryFile();
    void failedWritesLeaveNothing();
    void newFilesGetTheUsualPermissions();
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

void AtomicFileTest::replacingLeavesNoTemporaryFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("thumb.jpg"));
    QVERIFY(imageio::writeFileReplacing(path, "old"));
    QVERIFY(imageio::writeFileReplacing(path, "new"));
    QCOMPARE(test::readFile(path), QByteArray("new"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"thumb.jpg"});
}

void AtomicFileTest::failedWritesLeaveNothing() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone"));
    QVERIFY(!imageio::writeNewFile(missing, QStringLiteral("Shot"), QStringLiteral("png"), "x"));
    QVERIFY(!imageio::writeFileReplacing(missing + QStringLiteral("/a.png"), "x"));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void AtomicFileTest::newFilesGetTheUsualPermissions() {
    QTemporaryDir dir;
    const mode_t previous = ::umask(022);
    const auto written =
        imageio::writeNewFile(dir.path(), QStringLiteral("Shot"), QStringLiteral("png"), "x");
    const bool replaced = imageio::writeFileReplacing(dir.filePath(QStringLiteral("b")), "x");
    ::umask(previous);
    QVERIFY(written && replaced);
    for (const QString& path : {*written, dir.filePath(QStringLiteral("b"))}) {
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0644));
    }
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
