// The size and bit-rate rules of a recording.

#include <QtTest>

#include "recording/RecordingGeometry.h"

using namespace ivra;

class RecordingRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pixelSizes_data();
    void pixelSizes();
    void bitRates_data();
    void bitRates();
};

void RecordingRulesTest::pixelSizes_data() {
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("pixels");
    QTest::newRow("display at 2") << QSizeF(1512, 982) << 2.0 << QSize(3024, 1964);
    QTest::newRow("region at 2") << QSizeF(301, 201) << 2.0 << QSize(602, 402);
    QTest::newRow("fractional region at 1") << QSizeF(100.75, 50.25) << 1.0 << QSize(100, 50);
    QTest::newRow("odd sides lose one") << QSizeF(301, 201) << 1.0 << QSize(300, 200);
    QTest::newRow("truncated before rounding") << QSizeF(101.9, 99.99) << 1.0 << QSize(100, 98);
    QTest::newRow("scale 1.5") << QSizeF(1280, 721) << 1.5 << QSize(1920, 1080);
    QTest::newRow("too small for a pixel pair") << QSizeF(0.9, 1.4) << 1.0 << QSize(0, 0);
}

void RecordingRulesTest::pixelSizes() {
    QFETCH(QSizeF, points);
    QFETCH(double, scale);
    QFETCH(QSize, pixels);
    QCOMPARE(recordingPixelSize(points, scale), pixels);
}

void RecordingRulesTest::bitRates_data() {
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<RecordingQuality>("quality");
    QTest::addColumn<qint64>("bitRate");
    QTest::newRow("3024x1964 high")
        << QSize(3024, 1964) << RecordingQuality::High << qint64(17'817'408);
    QTest::newRow("3024x1964 max")
        << QSize(3024, 1964) << RecordingQuality::Max << qint64(38'604'384);
    // 13,478,400 in exact arithmetic; the double product lands just below and is truncated.
    QTest::newRow("1920x1080 max")
        << QSize(1920, 1080) << RecordingQuality::Max << qint64(13'478'399);
    QTest::newRow("1920x1080 high")
        << QSize(1920, 1080) << RecordingQuality::High << qint64(6'220'800);
}

void RecordingRulesTest::bitRates() {
    QFETCH(QSize, pixels);
    QFETCH(RecordingQuality, quality);
    QFETCH(qint64, bitRate);
    QCOMPARE(recordingBitRate(pixels, quality), bitRate);
}

QTEST_GUILESS_MAIN(RecordingRulesTest)
#include "RecordingRulesTest.moc"
