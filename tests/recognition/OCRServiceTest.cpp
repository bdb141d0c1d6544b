#include <thread>

#include <QBuffer>
#include <QFontInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "RenderedText.h"
#include "recognition/OCRService.h"
#include "recognition/RecognizeCommand.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

using test::kInk;
using test::kMoon;
using test::kNight;
using test::kPaper;

struct CommandOutput {
    int status = -1;
    QString out;
    QString err;
};

CommandOutput runCommand(const QString& path) {
    CommandOutput output;
    QTextStream out(&output.out);
    QTextStream err(&output.err);
    output.status = runRecognizeCommand(path, out, err);
    out.flush();
    err.flush();
    return output;
}

} // namespace

class OCRServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void recognisesLinesInReadingOrder_data();
    void recognisesLinesInReadingOrder();
    void readsDigitsAndLettersOfOneShape_data();
    void readsDigitsAndLettersOfOneShape();
    void readsLightAndDarkPanelsOfOneScreenshot();
    void readsTextCroppedTightly();
    void imageWithoutTextGivesEmptyText();
    void nullImageIsAnError();
    void missingLanguageDataIsReported();
    void commandPrintsTheTextOfAnImageFile();
    void commandRejectsWhatItCannotRead_data();
    void commandRejectsWhatItCannotRead();

private:
    QTemporaryDir m_dir;
};

void OCRServiceTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    for (const QString& family : {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")}) {
        QCOMPARE(QFontInfo(QFont(family)).family(), family);
    }
}

void OCRServiceTest::recognisesLinesInReadingOrder_data() {
    QTest::addColumn<QImage>("image");
    const QStringList lines = {QStringLiteral("Open the settings window"),
                               QStringLiteral("Знімок екрана збережено в теці"),
                               QStringLiteral("Saved 24 captures to Pictures")};
    QTest::newRow("dark on light, 12 px") << test::renderedText(lines, 12, kInk, kPaper);
    QTest::newRow("light on dark, 12 px at ratio 2")
        << test::renderedText(lines, 12, kMoon, kNight, 2, QStringLiteral("Noto Sans"));
}

void OCRServiceTest::recognisesLinesInReadingOrder() {
    QFETCH(QImage, image);
    QFuture<RecognitionResult> future = OCRService::recognizeText(image);
    // The work happens elsewhere: the caller gets the future back at once.
    QVERIFY(!future.isFinished());

    std::optional<RecognitionResult> result;
    QThread* continuedOn = nullptr;
    future.then(this, [&](const RecognitionResult& r) {
        continuedOn = QThread::currentThread();
        result = r;
    });
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 60000);
    QCOMPARE(continuedOn, thread());
    QVERIFY(result->ok());
    QCOMPARE(result->text, QStringLiteral("Open the settings window\n"
                                          "Знімок екрана збережено в теці\n"
                                          "Saved 24 captures to Pictures"));
}

void OCRServiceTest::readsDigitsAndLettersOfOneShape_data() {
    // Tesseract took "за" for "3a" here and the lone 3 for the Cyrillic capital "З".
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QStringList>("lines");
    const QStringList report = {QStringLiteral("Звіт за квартал"),
                                QStringLiteral("Quarterly report, draft 3, is ready")};
    QTest::newRow("за") << test::renderedText(report, 12, kMoon, kNight) << report;
    const QStringList meeting = report + QStringList{QStringLiteral("Зустріч о 3 годині")};
    QTest::newRow("3") << test::renderedText(meeting, 12, kInk, kPaper, 1,
                                             QStringLiteral("Noto Sans"))
                       << meeting;
}

void OCRServiceTest::readsDigitsAndLettersOfOneShape() {
    QFETCH(QImage, image);
    QFETCH(QStringList, lines);
    QCOMPARE(OCRService::recognizeTextBlocking(image).text, lines.join(QLatin1Char('\n')));
}

void OCRServiceTest::readsLightAndDarkPanelsOfOneScreenshot() {
    // A dark sidebar beside a light page, as in most applications' windows.
    const QImage sidebar = test::renderedText(
        {QStringLiteral("Pictures"), QStringLiteral("Downloads"), QStringLiteral("Музика")}, 13,
        kMoon, kNight);
    const QImage page = test::renderedText({QStringLiteral("Налаштування гарячих клавіш"),
                                            QStringLiteral("Show a thumbnail after capture"),
                                            QStringLiteral("Зберегти знімок у теці")},
                                           13, kInk, kPaper);
    constexpr int kSidebarWidthPx = 200;
    QImage window(kSidebarWidthPx + page.width(), std::max(sidebar.height(), page.height()),
                  QImage::Format_RGB32);
    window.fill(kPaper);
    QPainter painter(&window);
    painter.fillRect(QRect(0, 0, kSidebarWidthPx, window.height()), kNight);
    painter.drawImage(0, 0, sidebar);
    painter.drawImage(kSidebarWidthPx, 0, page);
    painter.end();

    // Which panel's words come first is up to Tesseract's layout analysis (side by side,
    // it reads rows across both); every word of both must be there.
    const RecognitionResult result = OCRService::recognizeTextBlocking(window);
    QVERIFY(result.ok());
    QStringList words = result.text.split(QRegularExpression(QStringLiteral("\\s+")));
    QStringList expected = QStringLiteral("Pictures Downloads Музика Налаштування гарячих клавіш "
                                          "Show a thumbnail after capture Зберегти знімок у теці")
                               .split(QLatin1Char(' '));
    words.sort();
    expected.sort();
    QCOMPARE(words, expected);
}

void OCRServiceTest::readsTextCroppedTightly() {
    // A selection drawn snugly around a label leaves no margin at all.
    for (const QString& word :
         {QStringLiteral("Copy"), QStringLiteral("Скасувати"), QStringLiteral("Cancel")}) {
        const QImage image = test::renderedText({word}, 12, kInk, kPaper);
        QRect ink;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qGray(image.pixel(x, y)) < 128) {
                    ink |= QRect(x, y, 1, 1);
                }
            }
        }
        const RecognitionResult result = OCRService::recognizeTextBlocking(image.copy(ink));
        QVERIFY(result.ok());
        QCOMPARE(result.text, word);
    }
}

void OCRServiceTest::imageWithoutTextGivesEmptyText() {
    QImage blank(640, 360, QImage::Format_RGB32);
    blank.fill(kNight);
    QImage shapes(640, 360, QImage::Format_ARGB32);
    shapes.fill(kPaper);
    QPainter painter(&shapes);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kInk, 1));
    painter.drawRect(20, 20, 600, 320);
    painter.drawLine(20, 60, 620, 60);
    painter.setBrush(QColor(74, 158, 255));
    painter.drawEllipse(QPoint(320, 200), 60, 60);
    painter.end();

    for (const QImage& image : {blank, shapes}) {
        const RecognitionResult result = OCRService::recognizeTextBlocking(image);
        QVERIFY(result.ok());
        QCOMPARE(result.text, QString());
    }
}

void OCRServiceTest::nullImageIsAnError() {
    const RecognitionResult result = OCRService::recognizeTextBlocking(QImage());
    QCOMPARE(result.error, RecognitionError::InvalidImage);
    QCOMPARE(result.text, QString());
}

void OCRServiceTest::missingLanguageDataIsReported() {
    // A thread of its own gets an engine of its own, loaded from the empty folder.
    const QByteArray savedPrefix = qgetenv("TESSDATA_PREFIX");
    qputenv("TESSDATA_PREFIX", QFile::encodeName(m_dir.path()));
    const QString path = m_dir.filePath(QStringLiteral("words.png"));
    QVERIFY(test::renderedText({QStringLiteral("Words")}, 16, kInk, kPaper).save(path));

    RecognitionResult result;
    CommandOutput command;
    std::thread worker([&] {
        result = OCRService::recognizeTextBlocking(QImage(path));
        command = runCommand(path);
    });
    worker.join();
    if (savedPrefix.isNull()) {
        qunsetenv("TESSDATA_PREFIX");
    } else {
        qputenv("TESSDATA_PREFIX", savedPrefix);
    }

    QCOMPARE(result.error, RecognitionError::EngineUnavailable);
    QCOMPARE(command.status, 1);
    QCOMPARE(command.out, QString());
    QVERIFY2(command.err.contains(QStringLiteral("not available")), qPrintable(command.err));
}

void OCRServiceTest::commandPrintsTheTextOfAnImageFile() {
    const QString path = m_dir.filePath(QStringLiteral("shot.jpg"));
    QVERIFY(
        test::renderedText({QStringLiteral("Copy the selection"), QStringLiteral("Вставте текст")},
                           16, kInk, kPaper)
            .save(path, "JPEG", 95));
    const CommandOutput text = runCommand(path);
    QCOMPARE(text.status, 0);
    QCOMPARE(text.out, QStringLiteral("Copy the selection\nВставте текст\n"));
    QCOMPARE(text.err, QString());

    const QString blankPath = m_dir.filePath(QStringLiteral("blank.png"));
    QImage blank(200, 100, QImage::Format_RGB32);
    blank.fill(kPaper);
    QVERIFY(blank.save(blankPath));
    const CommandOutput nothing = runCommand(blankPath);
    QCOMPARE(nothing.status, 0);
    QCOMPARE(nothing.out, QString());
}

void OCRServiceTest::commandRejectsWhatItCannotRead_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("missing") << QStringLiteral("missing.png") << QByteArray();
    QTest::newRow("not an image") << QStringLiteral("notes.png") << QByteArray("just words\n");
    QTest::newRow("truncated png")
        << QStringLiteral("cut.png") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("folder") << QStringLiteral("folder") << QByteArray();
}

void OCRServiceTest::commandRejectsWhatItCannotRead() {
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    const QString path = m_dir.filePath(name);
    if (name == QStringLiteral("folder")) {
        QVERIFY(QDir(m_dir.path()).mkpath(name));
    } else if (!contents.isEmpty()) {
        QVERIFY(test::writeFile(path, contents));
    }
    const CommandOutput output = runCommand(path);
    QCOMPARE(output.status, 1);
    QCOMPARE(output.out, QString());
    QVERIFY2(output.err.contains(path), qPrintable(output.err));
    QVERIFY(output.err.endsWith(QLatin1Char('\n')));
}

QTEST_MAIN(OCRServiceTest)
#include "OCRServiceTest.moc"
