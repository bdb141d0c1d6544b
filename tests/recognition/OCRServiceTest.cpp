#include <thread>

#include <QFontInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "RenderedText.h"
#include "recognition/OCRService.h"
#include "recognition/RecognizeCommand.h"
#include "support/TestSupport.h"

using namespace ivra;
using namespace ivra::test;

namespace {

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

QStringList sortedWords(const QString& text) {
    QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")));
    words.sort();
    return words;
}

// A selection drawn snugly around a label leaves no margin at all.
QImage tightlyCropped(const QString& word) {
    const QImage image = renderedText({word}, 12, kInk, kPaper);
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink |= qGray(image.pixel(x, y)) < 128 ? QRect(x, y, 1, 1) : QRect();
        }
    }
    return image.copy(ink);
}

} // namespace

class OCRServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void recognisesText_data();
    void recognisesText();
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

void OCRServiceTest::recognisesText_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("anyOrder");
    const QStringList lines = {QStringLiteral("Open the settings window"),
                               QStringLiteral("Знімок екрана збережено в теці"),
                               QStringLiteral("Saved 24 captures to Pictures")};
    QTest::newRow("dark on light, 12 px")
        << renderedText(lines, 12, kInk, kPaper) << lines.join('\n') << false;
    QTest::newRow("light on dark, 12 px at ratio 2")
        << renderedText(lines, 12, kMoon, kNight, 2, QStringLiteral("Noto Sans"))
        << lines.join('\n') << false;

    // Tesseract took "за" for "3a" here and the lone 3 for the Cyrillic capital "З".
    const QStringList report = {QStringLiteral("Звіт за квартал"),
                                QStringLiteral("Quarterly report, draft 3, is ready")};
    QTest::newRow("за") << renderedText(report, 12, kMoon, kNight) << report.join('\n') << false;
    const QStringList meeting = report + QStringList{QStringLiteral("Зустріч о 3 годині")};
    QTest::newRow("3") << renderedText(meeting, 12, kInk, kPaper, 1, QStringLiteral("Noto Sans"))
                       << meeting.join('\n') << false;

    // A dark sidebar beside a light page, as in most applications' windows. Which panel's
    // words come first is up to Tesseract's layout analysis; every word of both must be there.
    const QImage sidebar = renderedText(
        {QStringLiteral("Pictures"), QStringLiteral("Downloads"), QStringLiteral("Музика")}, 13,
        kMoon, kNight);
    const QImage page = renderedText({QStringLiteral("Налаштування гарячих клавіш"),
                                      QStringLiteral("Show a thumbnail after capture"),
                                      QStringLiteral("Зберегти знімок у теці")},
                                     13, kInk, kPaper);
    QImage window(200 + page.width(), std::max(sidebar.height(), page.height()),
                  QImage::Format_RGB32);
    window.fill(kPaper);
    QPainter painter(&window);
    painter.fillRect(QRect(0, 0, 200, window.height()), kNight);
    painter.drawImage(0, 0, sidebar);
    painter.drawImage(200, 0, page);
    painter.end();
    QTest::newRow("light and dark panels")
        << window
        << QStringLiteral("Pictures Downloads Музика Налаштування гарячих клавіш Show a "
                          "thumbnail after capture Зберегти знімок у теці")
        << true;

    for (const char* word : {"Copy", "Скасувати", "Cancel"}) {
        QTest::newRow(word) << tightlyCropped(QString::fromUtf8(word)) << QString::fromUtf8(word)
                            << false;
    }

    QImage blank(640, 360, QImage::Format_RGB32);
    blank.fill(kNight);
    QTest::newRow("blank") << blank << QString() << false;
    QImage shapes(640, 360, QImage::Format_ARGB32);
    shapes.fill(kPaper);
    painter.begin(&shapes);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kInk, 1));
    painter.drawRect(20, 20, 600, 320);
    painter.drawLine(20, 60, 620, 60);
    painter.setBrush(QColor(74, 158, 255));
    painter.drawEllipse(QPoint(320, 200), 60, 60);
    painter.end();
    QTest::newRow("shapes") << shapes << QString() << false;
}

void OCRServiceTest::recognisesText() {
    QFETCH(QImage, image);
    QFETCH(QString, expected);
    QFETCH(bool, anyOrder);
    QFuture<RecognitionResult> future = OCRService::recognizeText(image);
    // The work happens elsewhere: the caller gets the future back at once (asked only of
    // several lines, which take long enough that the answer cannot race the question).
    if (expected.contains('\n')) {
        QVERIFY(!future.isFinished());
    }
    std::optional<RecognitionResult> result;
    QThread* continuedOn = nullptr;
    future.then(this, [&](const RecognitionResult& r) {
        continuedOn = QThread::currentThread();
        result = r;
    });
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 60000);
    QCOMPARE(continuedOn, thread());
    QVERIFY(result->ok());
    if (anyOrder) {
        QCOMPARE(sortedWords(result->text), sortedWords(expected));
    } else {
        QCOMPARE(result->text, expected);
    }
}

void OCRServiceTest::nullImageIsAnError() {
    const RecognitionResult result = OCRService::recognizeTextBlocking(QImage());
    QCOMPARE(result.error, RecognitionError::InvalidImage);
    QCOMPARE(result.text, QString());
}

void OCRServiceTest::missingLanguageDataIsReported() {
    // A thread of its own gets an engine of its own, loaded from the empty folder.
    const auto restore = qScopeGuard([saved = qgetenv("TESSDATA_PREFIX")] {
        saved.isNull() ? qunsetenv("TESSDATA_PREFIX") : qputenv("TESSDATA_PREFIX", saved);
    });
    qputenv("TESSDATA_PREFIX", QFile::encodeName(m_dir.path()));
    const QString path = m_dir.filePath(QStringLiteral("words.png"));
    QVERIFY(renderedText({QStringLiteral("Words")}, 16, kInk, kPaper).save(path));

    RecognitionResult result;
    CommandOutput command;
    std::thread([&] {
        result = OCRService::recognizeTextBlocking(QImage(path));
        command = runCommand(path);
    }).join();

    QCOMPARE(result.error, RecognitionError::EngineUnavailable);
    QCOMPARE(command.status, 1);
    QCOMPARE(command.out, QString());
    QVERIFY2(command.err.contains(QStringLiteral("not available")), qPrintable(command.err));
}

void OCRServiceTest::commandPrintsTheTextOfAnImageFile() {
    const QString path = m_dir.filePath(QStringLiteral("shot.jpg"));
    QVERIFY(renderedText({QStringLiteral("Copy the selection"), QStringLiteral("Вставте текст")},
                         16, kInk, kPaper)
                .save(path, "JPEG", 95));
    const CommandOutput text = runCommand(path);
    QCOMPARE(text.status, 0);
    QCOMPARE(text.out, QStringLiteral("Copy the selection\nВставте текст\n"));
    QCOMPARE(text.err, QString());

    const QString blankPath = m_dir.filePath(QStringLiteral("blank.png"));
    QVERIFY(renderedText({}, 12, kInk, kPaper).save(blankPath));
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
        QVERIFY(writeFile(path, contents));
    }
    const CommandOutput output = runCommand(path);
    QCOMPARE(output.status, 1);
    QCOMPARE(output.out, QString());
    QVERIFY2(output.err.contains(path), qPrintable(output.err));
    QVERIFY(output.err.endsWith(QLatin1Char('\n')));
}

QTEST_MAIN(OCRServiceTest)
#include "OCRServiceTest.moc"
