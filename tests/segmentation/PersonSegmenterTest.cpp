#include <opencv2/dnn.hpp>

#include <QDir>
#include <QFile>
#include <QTest>

#include "SegmentationImages.h"
#include "segmentation/ModelFiles.h"
#include "segmentation/PersonSegmenter.h"

using namespace ivra;
using namespace ivra::segmentation;

namespace {

// Mean of a mask's values (0…1) inside `area`, given in fractions of the mask.
double meanIn(const QImage& mask, QRectF area) {
    const QRect pixels(qRound(area.x() * mask.width()), qRound(area.y() * mask.height()),
                       qRound(area.width() * mask.width()), qRound(area.height() * mask.height()));
    double sum = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            sum += mask.constScanLine(y)[x];
        }
    }
    return sum / (255.0 * pixels.width() * pixels.height());
}

} // namespace

class PersonSegmenterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void theConvertedNetworkAgreesWithTheOriginal();
    void findsThePersonInAPhoto();

private:
    QString m_model;
};

void PersonSegmenterTest::initTestCase() {
    m_model = personMaskModelPath();
    const QString missing = test::missingSegmentationFiles(
        {m_model, QDir(modelDirectory()).filePath(QStringLiteral("person-mask.check")),
         test::photoPath(QStringLiteral("astronaut.png"))});
    if (!missing.isEmpty()) {
        QSKIP(qPrintable(missing));
    }
}

void PersonSegmenterTest::theConvertedNetworkAgreesWithTheOriginal() {
    // The converter ran the original network through its own reference interpreter on a
    // fixed image and stored the image and the values before the final sigmoid: the
    // converted network must give the same (float rounding apart).
    QFile check(QDir(modelDirectory()).filePath(QStringLiteral("person-mask.check")));
    QVERIFY(check.open(QIODevice::ReadOnly));
    const int h = PersonSegmenter::kMaskHeightPx;
    const int w = PersonSegmenter::kMaskWidthPx;
    const QByteArray bytes = check.readAll();
    QCOMPARE(bytes.size(), qsizetype(4 * (3 + 1) * h * w));
    const int inputShape[] = {1, 3, h, w};
    const cv::Mat input(4, inputShape, CV_32F, const_cast<char*>(bytes.constData()));
    const auto* expected = reinterpret_cast<const float*>(bytes.constData()) + 3 * h * w;

    cv::dnn::Net net = cv::dnn::readNetFromONNX(m_model.toStdString());
    std::string logits;
    for (const std::string& name : net.getLayerNames()) {
        if (name == "logits" || name.ends_with("!logits")) {
            logits = name;
        }
    }
    QVERIFY2(!logits.empty(), "no layer named logits");
    net.setInput(input, "input");
    const cv::Mat output = net.forward(logits);
    QCOMPARE(output.total(), size_t(h) * w);

    double largestDifference = 0;
    double largestValue = 0;
    for (int i = 0; i < h * w; ++i) {
        largestDifference =
            std::max(largestDifference, double(std::abs(output.ptr<float>()[i] - expected[i])));
        largestValue = std::max(largestValue, double(std::abs(expected[i])));
    }
    QVERIFY2(largestValue > 1.0, "the reference values are all near zero: nothing compared");
    QVERIFY2(largestDifference < 1e-3 * largestValue,
             qPrintable(QStringLiteral("differs by %1 (values up to %2)")
                            .arg(largestDifference)
                            .arg(largestValue)));
}

void PersonSegmenterTest::findsThePersonInAPhoto() {
    const PersonSegmenter segmenter(m_model);
    // The portrait as a camera would send it: landscape, 32-bit.
    const QImage photo(test::photoPath(QStringLiteral("astronaut.png")));
    const QImage frame = photo.scaled(1280, 720).convertToFormat(QImage::Format_RGB32);
    const std::optional<QImage> mask = segmenter.personMask(frame);
    QVERIFY(mask);
    QCOMPARE(mask->size(), QSize(PersonSegmenter::kMaskWidthPx, PersonSegmenter::kMaskHeightPx));
    // Her body fills the middle, the dark sky the top corners.
    QVERIFY2(meanIn(*mask, QRectF(0.3, 0.5, 0.2, 0.3)) > 0.9,
             qPrintable(QString::number(meanIn(*mask, QRectF(0.3, 0.5, 0.2, 0.3)))));
    QVERIFY(meanIn(*mask, QRectF(0.0, 0.0, 0.1, 0.15)) < 0.1);
    QVERIFY(meanIn(*mask, QRectF(0.9, 0.0, 0.1, 0.15)) < 0.1);
}

QTEST_MAIN(PersonSegmenterTest)
#include "PersonSegmenterTest.moc"
