#include <QTemporaryDir>
#include <QTest>

#include "SegmentationImages.h"
#include "segmentation/ModelFiles.h"
#include "segmentation/RemoveBackgroundCommand.h"
#include "segmentation/SubjectBackgroundRemover.h"
#include "segmentation/SubjectMask.h"

using namespace ivra;
using namespace ivra::segmentation;

// Background removal with the real network on a real photo and drawn interface
// screenshots, through the command and the remover itself. One remover for the whole test:
// the network is read once, as in the application. Each network run takes seconds, so
// every run here checks as much as it can.
class BackgroundRemovalTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void theCommandWritesAPortraitWithoutItsBackground();
    void aCutoutCutOutAgainKeepsItsSize();
    void aSettingsWindowHasNoSubject();
    void theCommandSaysWhenThereIsNoSubjectOrNoImage();
    void aMissingNetworkFindsNoSubject();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<SubjectBackgroundRemover> m_remover;
    QImage m_portrait;
    QImage m_cutout;
};

void BackgroundRemovalTest::initTestCase() {
    const QString missing = test::missingSegmentationFiles(
        {subjectMaskModelPath(), test::photoPath(QStringLiteral("astronaut.png"))});
    if (!missing.isEmpty()) {
        QSKIP(qPrintable(missing));
    }
    m_remover = std::make_unique<SubjectBackgroundRemover>(subjectMaskModelPath());
    m_portrait = QImage(test::photoPath(QStringLiteral("astronaut.png")));
    QVERIFY(!m_portrait.isNull());
}

void BackgroundRemovalTest::theCommandWritesAPortraitWithoutItsBackground() {
    // 512 × 512: a woman in a space suit before a dark background, her helmet bottom right.
    const QString output = m_folder.filePath(QStringLiteral("cut.png"));
    QString messages;
    QTextStream err(&messages);
    QCOMPARE(runRemoveBackgroundCommand(test::photoPath(QStringLiteral("astronaut.png")), output,
                                        *m_remover, err),
             0);
    QVERIFY(messages.isEmpty());

    m_cutout = QImage(output);
    QCOMPARE(m_cutout.size(), m_portrait.size());
    for (const QPoint corner : {QPoint(5, 5), QPoint(506, 5), QPoint(5, 200), QPoint(480, 150)}) {
        QVERIFY2(qAlpha(m_cutout.pixel(corner)) == 0,
                 qPrintable(QStringLiteral("background at %1,%2 has alpha %3")
                                .arg(corner.x())
                                .arg(corner.y())
                                .arg(qAlpha(m_cutout.pixel(corner)))));
    }
    for (const QPoint subject : {QPoint(230, 90), QPoint(200, 300), QPoint(120, 450)}) {
        QVERIFY2(qAlpha(m_cutout.pixel(subject)) == 255,
                 qPrintable(QStringLiteral("subject at %1,%2").arg(subject.x()).arg(subject.y())));
        // Kept pixels keep their colour.
        QCOMPARE(m_cutout.pixelColor(subject), m_portrait.pixelColor(subject));
    }
}

void BackgroundRemovalTest::aCutoutCutOutAgainKeepsItsSize() {
    QVERIFY(!m_cutout.isNull());
    const std::optional<QImage> twice = m_remover->cutout(m_cutout);
    if (twice) {
        QCOMPARE(twice->size(), m_portrait.size());
        // What was gone stays gone.
        QCOMPARE(qAlpha(twice->pixel(5, 5)), 0);
        QCOMPARE(qAlpha(twice->pixel(200, 300)), 255);
    }
}

void BackgroundRemovalTest::aSettingsWindowHasNoSubject() {
    const QImage screenshot = test::settingsScreenshot();
    if (m_remover->cutout(screenshot)) {
        const SubjectCoverage coverage = largestSubject(*m_remover->subjectMask(screenshot));
        QFAIL(qPrintable(QStringLiteral("a subject of area %1, mean alpha %2")
                             .arg(coverage.areaFraction)
                             .arg(coverage.meanAlpha)));
    }
}

void BackgroundRemovalTest::theCommandSaysWhenThereIsNoSubjectOrNoImage() {
    QString messages;
    QTextStream err(&messages);
    const QString untouched = m_folder.filePath(QStringLiteral("none.png"));

    // A terminal: the network half-selects its text, over a large area.
    const QString screenshot = m_folder.filePath(QStringLiteral("terminal.png"));
    QVERIFY(test::terminalScreenshot().save(screenshot));
    QCOMPARE(runRemoveBackgroundCommand(screenshot, untouched, *m_remover, err), 1);
    QCOMPARE(messages, QStringLiteral("No subject to lift — works on photos, not flat UI\n"));
    QVERIFY(!QFile::exists(untouched));

    messages.clear();
    const QString notAnImage = m_folder.filePath(QStringLiteral("notes.png"));
    QVERIFY(QFile(notAnImage).open(QIODevice::WriteOnly));
    QCOMPARE(runRemoveBackgroundCommand(notAnImage, untouched, *m_remover, err), 1);
    QVERIFY2(messages.startsWith(
                 QStringLiteral("ivra: cannot read an image from \"%1\": ").arg(notAnImage)),
             qPrintable(messages));
    QVERIFY(!QFile::exists(untouched));
}

void BackgroundRemovalTest::aMissingNetworkFindsNoSubject() {
    const QRegularExpression howToGetIt("subject-mask.onnx is missing; run "
                                        "scripts/fetch-models.sh /nonexistent");
    QTest::ignoreMessage(QtWarningMsg, howToGetIt);
    const SubjectBackgroundRemover remover(QStringLiteral("/nonexistent/subject-mask.onnx"));
    QVERIFY(!remover.cutout(m_portrait));
    // The line is logged once, not for every attempt.
    QTest::failOnWarning(howToGetIt);
    QVERIFY(!remover.cutout(m_portrait));
}

QTEST_MAIN(BackgroundRemovalTest)
#include "BackgroundRemovalTest.moc"
