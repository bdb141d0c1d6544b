#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "library/ThumbnailCache.h"

using namespace ivra;

namespace {

// Left half one colour, right half another.
QImage halves(QSize size, QColor left, QColor right) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(right);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width() / 2; ++x) {
            image.setPixelColor(x, y, left);
        }
    }
    return image;
}

} // namespace

class ThumbnailCacheTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QImage& image) {
        const QString path = m_dir.filePath(name);
        if (!image.save(path, "PNG")) {
            qFatal("cannot write the picture");
        }
        return path;
    }
    // Waits for the read a lookup queued and looks again.
    static ThumbnailCache::Lookup lookupWhenRead(ThumbnailCache& cache, const QString& path,
                                                 QSize size) {
        QSignalSpy ready(&cache, &ThumbnailCache::ready);
        ThumbnailCache::Lookup first = cache.lookup(path, size);
        if (first.state != ThumbnailCache::State::Loading) {
            return first;
        }
        if (!ready.wait(5000)) {
            qFatal("the read never finished");
        }
        return cache.lookup(path, size);
    }

private Q_SLOTS:
    void fillsTheCardAndCropsTheMiddle() {
        // 4:1 into a square: scaled to the square's height, the middle quarter kept.
        const QImage filled = ThumbnailCache::readFilled(
            write("wide.png", halves({400, 100}, Qt::red, Qt::blue)), {100, 100});
        QCOMPARE(filled.size(), QSize(100, 100));
        QCOMPARE(filled.pixelColor(10, 50), QColor(Qt::red));
        QCOMPARE(filled.pixelColor(90, 50), QColor(Qt::blue));
        // Tall into wide: scaled to the width, the middle rows kept.
        QImage tall(50, 400, QImage::Format_RGB32);
        tall.fill(Qt::green);
        for (int x = 0; x < 50; ++x) {
            tall.setPixelColor(x, 0, Qt::black);
            tall.setPixelColor(x, 399, Qt::black);
        }
        const QImage band = ThumbnailCache::readFilled(write("tall.png", tall), {210, 132});
        QCOMPARE(band.size(), QSize(210, 132));
        QCOMPARE(band.pixelColor(105, 0), QColor(Qt::green));
        QVERIFY(ThumbnailCache::readFilled(m_dir.filePath("missing.png"), {10, 10}).isNull());
    }

    void neverShowsStalePixels() {
        ThumbnailCache cache;
        const QSize card(40, 30);
        const QString path = write("shot.png", halves({80, 60}, Qt::red, Qt::red));
        auto found = lookupWhenRead(cache, path, card);
        QCOMPARE(found.state, ThumbnailCache::State::Ready);
        QCOMPARE(found.image.size(), card);
        QCOMPARE(found.image.pixelColor(20, 15), QColor(Qt::red));
        // Read once: the next lookup answers at once.
        QCOMPARE(cache.lookup(path, card).state, ThumbnailCache::State::Ready);

        // The file replaced (another size, a later time): read again, never the old pixels.
        const QImage replacement = halves({90, 60}, Qt::yellow, Qt::yellow);
        QFile::remove(path);
        write("shot.png", replacement);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(cache.lookup(path, card).state, ThumbnailCache::State::Loading);
        found = lookupWhenRead(cache, path, card);
        QCOMPARE(found.image.pixelColor(20, 15), QColor(Qt::yellow));

        // Gone: the placeholder, not the last picture.
        QVERIFY(QFile::remove(path));
        QCOMPARE(cache.lookup(path, card).state, ThumbnailCache::State::Loading);
        QCOMPARE(lookupWhenRead(cache, path, card).state, ThumbnailCache::State::Unreadable);
    }

    void staysWithinItsBudget() {
        const QSize card(100, 100);
        // Room for one card's pixels only.
        ThumbnailCache cache(100 * 100 * 4);
        const QString first = write("a.png", halves({100, 100}, Qt::red, Qt::red));
        const QString second = write("b.png", halves({100, 100}, Qt::blue, Qt::blue));
        QCOMPARE(lookupWhenRead(cache, first, card).state, ThumbnailCache::State::Ready);
        QCOMPARE(lookupWhenRead(cache, second, card).state, ThumbnailCache::State::Ready);
        QCOMPARE(cache.lookup(first, card).state, ThumbnailCache::State::Loading);
    }
};

QTEST_MAIN(ThumbnailCacheTest)
#include "ThumbnailCacheTest.moc"
