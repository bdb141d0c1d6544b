#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "annotation/ExportService.h"
#include "annotation/SaveDialog.h"
#include "imageio/ImageCodec.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

const QDateTime kMoment(QDate(2026, 12, 5), QTime(9, 7, 3), QTimeZone::utc());

QString render(const QString& nameTemplate, const QString& app = {},
               const QString& extension = "png") {
    return ExportService::renderTemplate(nameTemplate, kMoment, app, QTimeZone::utc(), extension);
}

QImage solid(const QColor& color, QImage::Format format = QImage::Format_RGB32) {
    QImage image(32, 24, format);
    image.fill(color);
    return image;
}

class ScriptedDialog final : public SaveDialog {
public:
    std::optional<QString> answer;
    int calls = 0;
    QString offeredName;
    ExportFormat offeredFormat = ExportFormat::Png;
    std::optional<QString> askForPath(const QString& suggestedName, ExportFormat format) override {
        ++calls;
        offeredName = suggestedName;
        offeredFormat = format;
        return answer;
    }
};

// Runs save() and waits for its completion; nothing when it never came.
std::optional<bool> saveAndWait(const ExportService& service, const QImage& image,
                                const QString& name, bool useDialog) {
    std::optional<bool> result;
    service.save(image, name, useDialog, [&](bool ok) { result = ok; });
    if (result) {
        return std::nullopt; // the completion must come later, from the event loop
    }
    QDeadlineTimer deadline(5000);
    while (!result && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return result;
}

bool isJpeg(const QByteArray& bytes) {
    return bytes.startsWith("\xFF\xD8\xFF");
}

bool isPng(const QByteArray& bytes) {
    return bytes.startsWith("\x89PNG\r\n\x1A\n");
}

} // namespace

class ExportServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void templatesRenderToFileNames_data();
    void templatesRenderToFileNames();
    void namesUseWesternDigitsInEveryLocale();
    void clockIsReadInTheGivenTimeZone();
    void formatFollowsTheFileExtension();
    void jpegUsesTheQualitySettingAndFlattensOntoWhite();
    void writeReplacesAndFailsCleanly();
    void directSavesNeverReplaceAFile();
    void directSaveStaysInsideTheChosenFolder();
    void directSaveIntoAMissingFolderFails();
    void withoutAChosenFolderTheDialogAsks();
    void dialogCanBeAskedForAndCancelled();

private:
    SettingsStore settings() const {
        return SettingsStore(std::make_shared<platform::IniKeyValueStore>(
            m_dir->filePath(QStringLiteral("Ivra.conf"))));
    }
    QString folder() const { return m_dir->filePath(QStringLiteral("Shots")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void ExportServiceTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(folder()));
}

void ExportServiceTest::cleanup() {
    QLocale::setDefault(QLocale::c());
}

void ExportServiceTest::templatesRenderToFileNames_data() {
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<QString>("app");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default") << "Screenshot {date} {time}"
                             << ""
                             << "png"
                             << "Screenshot 2026-12-05 09.07.03.png";
    QTest::newRow("no app, colon") << "{app}: shot"
                                   << ""
                                   << "png"
                                   << "- shot.png";
    QTest::newRow("spaces only") << "   "
                                 << ""
                                 << "png"
                                 << "Screenshot 2026-12-05 09.07.03.png";
    QTest::newRow("empty") << ""
                           << ""
                           << "jpg"
                           << "Screenshot 2026-12-05 09.07.03.jpg";
    QTest::newRow("only an absent app") << " {app}\t"
                                        << ""
                                        << "png"
                                        << "Screenshot 2026-12-05 09.07.03.png";
    QTest::newRow("slashes") << "a/b\\c"
                             << ""
                             << "png"
                             << "a-b-c.png";
    QTest::newRow("all nine, each separately") << "/\\:*?\"<>|"
                                               << ""
                                               << "png"
                                               << "---------.png";
    QTest::newRow("upper-case token") << "{DATE} {Time}"
                                      << ""
                                      << "png"
                                      << "{DATE} {Time}.png";
    QTest::newRow("every occurrence") << "{date}_{date}"
                                      << ""
                                      << "png"
                                      << "2026-12-05_2026-12-05.png";
    QTest::newRow("app") << "{app} {time}"
                         << "Safari"
                         << "png"
                         << "Safari 09.07.03.png";
    QTest::newRow("app name sanitised") << "{app}"
                                        << "Docs: A/B"
                                        << "png"
                                        << "Docs- A-B.png";
    QTest::newRow("tabs trimmed") << "\t name \t"
                                  << ""
                                  << "png"
                                  << "name.png";
    QTest::newRow("line breaks kept") << "\nname"
                                      << ""
                                      << "png"
                                      << "\nname.png";
    QTest::newRow("inner spaces kept") << "a  b"
                                       << ""
                                       << "mov"
                                       << "a  b.mov";
    QTest::newRow("recording") << "Recording {date} {time}"
                               << ""
                               << "mov"
                               << "Recording 2026-12-05 09.07.03.mov";
}

void ExportServiceTest::templatesRenderToFileNames() {
    QFETCH(QString, nameTemplate);
    QFETCH(QString, app);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    QCOMPARE(render(nameTemplate, app, extension), expected);
}

void ExportServiceTest::namesUseWesternDigitsInEveryLocale() {
    for (const QLocale& locale :
         {QLocale(QLocale::Ukrainian, QLocale::Ukraine), QLocale(QLocale::Arabic, QLocale::Egypt),
          QLocale(QLocale::Persian, QLocale::Iran), QLocale(QLocale::Thai, QLocale::Thailand)}) {
        QLocale::setDefault(locale);
        QCOMPARE(render("Screenshot {date} {time}"), QString("Screenshot 2026-12-05 09.07.03.png"));
    }
}

void ExportServiceTest::clockIsReadInTheGivenTimeZone() {
    const QTimeZone tokyo("Asia/Tokyo");
    QVERIFY(tokyo.isValid());
    QCOMPARE(ExportService::renderTemplate("{date} {time}", kMoment, {}, tokyo, "png"),
             QString("2026-12-05 18.07.03.png"));
    const QTimeZone honolulu("Pacific/Honolulu");
    QCOMPARE(ExportService::renderTemplate("{date} {time}", kMoment, {}, honolulu, "png"),
             QString("2026-12-04 23.07.03.png"));
    const QDateTime midnight(QDate(987, 1, 2), QTime(0, 0, 0), QTimeZone::utc());
    QCOMPARE(ExportService::renderTemplate("{date} {time}", midnight, {}, QTimeZone::utc(), "png"),
             QString("0987-01-02 00.00.00.png"));
}

void ExportServiceTest::formatFollowsTheFileExtension() {
    SettingsStore store = settings();
    store.setText(SettingsStore::Keys::exportFormat, "jpeg"); // not what decides the bytes
    const ExportService service(store);
    const QImage image = solid(QColor(10, 200, 30));

    const QString upperJpg = QDir(folder()).filePath("shot.JPG");
    QVERIFY(service.write(image, upperJpg));
    QVERIFY(isJpeg(test::readFile(upperJpg)));
    QVERIFY(service.write(image, QDir(folder()).filePath("shot.Jpeg")));
    QVERIFY(isJpeg(test::readFile(QDir(folder()).filePath("shot.Jpeg"))));

    const QString tiff = QDir(folder()).filePath("shot.tiff");
    QVERIFY(service.write(image, tiff));
    const QByteArray pngBytes = test::readFile(tiff);
    QVERIFY(isPng(pngBytes));
    QCOMPARE(imageio::decode(pngBytes).convertToFormat(QImage::Format_RGB32), image);

    const QString bare = QDir(folder()).filePath("shot");
    QVERIFY(service.write(image, bare));
    QVERIFY(isPng(test::readFile(bare)));
}

void ExportServiceTest::jpegUsesTheQualitySettingAndFlattensOntoWhite() {
    QImage noisy(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < noisy.height(); ++y) {
        for (int x = 0; x < noisy.width(); ++x) {
            noisy.setPixel(x, y, qRgb((x * 97 + y * 31) % 256, (x * y) % 256, (x ^ y) % 256));
        }
    }
    SettingsStore store = settings();
    const ExportService service(store);
    const QString path = QDir(folder()).filePath("q.jpg");
    store.setDouble(SettingsStore::Keys::jpegQuality, 1.0);
    QVERIFY(service.write(noisy, path));
    const qint64 best = QFileInfo(path).size();
    store.setDouble(SettingsStore::Keys::jpegQuality, 0.5);
    QVERIFY(service.write(noisy, path));
    QVERIFY(QFileInfo(path).size() < best * 2 / 3);

    QVERIFY(service.write(solid(Qt::transparent, QImage::Format_ARGB32), path));
    const QColor flattened = imageio::decode(test::readFile(path)).pixelColor(10, 10);
    QVERIFY(flattened.red() > 250 && flattened.green() > 250 && flattened.blue() > 250);
}

void ExportServiceTest::writeReplacesAndFailsCleanly() {
    SettingsStore store = settings();
    const ExportService service(store);
    const QString path = QDir(folder()).filePath("same.png");
    QVERIFY(service.write(solid(Qt::red), path));
    QVERIFY(service.write(solid(Qt::blue), path));
    QCOMPARE(imageio::decode(test::readFile(path)).pixelColor(0, 0), QColor(Qt::blue));

    QVERIFY(!service.write(solid(Qt::red), m_dir->filePath("missing/folder/x.png")));
    QVERIFY(!service.write(QImage(), QDir(folder()).filePath("null.png")));
    QVERIFY(!QFile::exists(QDir(folder()).filePath("null.png")));
    // No temporary files left behind by the failures.
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void ExportServiceTest::directSavesNeverReplaceAFile() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    QVERIFY(store.hasUserSaveDestination());
    ScriptedDialog dialog;
    const ExportService service(store, &dialog);
    const QString name = render("Screenshot {date} {time}");

    QCOMPARE(saveAndWait(service, solid(Qt::red), name, false), std::optional(true));
    QCOMPARE(saveAndWait(service, solid(Qt::green), name, false), std::optional(true));
    QCOMPARE(saveAndWait(service, solid(Qt::blue), name, false), std::optional(true));
    QCOMPARE(dialog.calls, 0);

    const QDir dir(folder());
    const auto colorOf = [&](const QString& file) {
        return imageio::decode(test::readFile(dir.filePath(file))).pixelColor(1, 1);
    };
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03.png"), QColor(Qt::red));
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03 (2).png"), QColor(Qt::green));
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03 (3).png"), QColor(Qt::blue));
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 3);

    // JPEG names keep their extension through the counter.
    const QString jpegName = render("Screenshot {date} {time}", {}, "jpg");
    QCOMPARE(saveAndWait(service, solid(Qt::red), jpegName, false), std::optional(true));
    QCOMPARE(saveAndWait(service, solid(Qt::red), jpegName, false), std::optional(true));
    QVERIFY(isJpeg(test::readFile(dir.filePath("Screenshot 2026-12-05 09.07.03 (2).jpg"))));
}

void ExportServiceTest::directSaveStaysInsideTheChosenFolder() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    const ExportService service(store);
    const auto written = service.saveToChosenFolder(solid(Qt::red), "../escape.png");
    QVERIFY(written);
    QCOMPARE(QFileInfo(*written).absolutePath(), QFileInfo(folder()).absoluteFilePath());
    QVERIFY(!QFile::exists(m_dir->filePath("escape.png")));
    QVERIFY(!service.saveToChosenFolder(solid(Qt::red), ".png"));
}

void ExportServiceTest::directSaveIntoAMissingFolderFails() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    QVERIFY(QDir(folder()).removeRecursively());
    QVERIFY(test::writeFile(folder(), "a file where the folder was"));
    const ExportService service(store);
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", false), std::optional(false));
}

void ExportServiceTest::withoutAChosenFolderTheDialogAsks() {
    SettingsStore store = settings();
    store.setText(SettingsStore::Keys::exportFormat, "jpeg");
    QVERIFY(!store.hasUserSaveDestination());
    ScriptedDialog dialog;
    dialog.answer = QDir(folder()).filePath("picked.jpg");
    const ExportService service(store, &dialog);
    QCOMPARE(saveAndWait(service, solid(Qt::red), "suggested.jpg", false), std::optional(true));
    QCOMPARE(dialog.calls, 1);
    QCOMPARE(dialog.offeredName, QString("suggested.jpg"));
    QCOMPARE(dialog.offeredFormat, ExportFormat::Jpeg);
    QVERIFY(isJpeg(test::readFile(*dialog.answer)));

    // Nobody to ask: nothing is written, and the caller hears so.
    const ExportService headless(store);
    QCOMPARE(saveAndWait(headless, solid(Qt::red), "x.png", false), std::optional(false));
}

void ExportServiceTest::dialogCanBeAskedForAndCancelled() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    ScriptedDialog dialog;
    const ExportService service(store, &dialog);
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", true), std::optional(false));
    QCOMPARE(dialog.calls, 1);
    QCOMPARE(dialog.offeredFormat, ExportFormat::Png);
    QVERIFY(QDir(folder()).isEmpty());

    // The dialog already asked about replacing: an explicit choice is replaced.
    const QString chosen = QDir(folder()).filePath("chosen.png");
    QVERIFY(test::writeFile(chosen, "old"));
    dialog.answer = chosen;
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", true), std::optional(true));
    QVERIFY(isPng(test::readFile(chosen)));
}

QTEST_GUILESS_MAIN(ExportServiceTest)
#include "ExportServiceTest.moc"
