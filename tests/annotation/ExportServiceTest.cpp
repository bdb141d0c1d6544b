#include <QDeadlineTimer>
#include <QDir>
#include <QLocale>
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

QString render(const QString& nameTemplate, const QString& app = {}, const QString& ext = "png") {
    return ExportService::renderTemplate(nameTemplate, kMoment, app, QTimeZone::utc(), ext);
}

QImage solid(const QColor& color, QImage::Format format = QImage::Format_RGB32) {
    QImage image(32, 24, format);
    image.fill(color);
    return image;
}

bool isJpeg(const QByteArray& bytes) {
    return bytes.startsWith("\xFF\xD8\xFF");
}

bool isPng(const QByteArray& bytes) {
    return bytes.startsWith("\x89PNG\r\n\x1A\n");
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

// Runs save() and waits for its completion, which must come from the event loop later.
std::optional<bool> saveAndWait(const ExportService& service, const QImage& image,
                                const QString& name, bool useDialog) {
    std::optional<bool> result;
    service.save(image, name, useDialog, [&](bool ok) { result = ok; });
    if (result) {
        return std::nullopt;
    }
    for (QDeadlineTimer deadline(5000); !result && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return result;
}

} // namespace

class ExportServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void templatesRenderToFileNames_data();
    void templatesRenderToFileNames();
    void namesUseWesternDigitsAndTheGivenTimeZone();
    void formatFollowsTheFileExtension();
    void jpegUsesTheQualitySettingAndFlattensOntoWhite();
    void writeReplacesAndFailsCleanly();
    void directSavesNeverReplaceAFile();
    void directSaveStaysInsideAnExistingFolder();
    void dialogIsUsedWhenAskedOrWithoutAFolder();

private:
    SettingsStore settings() const {
        return SettingsStore(
            std::make_shared<platform::IniKeyValueStore>(m_dir->filePath("Ivra.conf")));
    }
    QString folder(const QString& file = {}) const {
        return file.isEmpty() ? m_dir->filePath("Shots") : m_dir->filePath("Shots/" + file);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void ExportServiceTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(folder()));
}

void ExportServiceTest::templatesRenderToFileNames_data() {
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<QString>("app");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default") << "Screenshot {date} {time}"
                             << ""
                             << "Screenshot 2026-12-05 09.07.03.png";
    QTest::newRow("no app, colon") << "{app}: shot"
                                   << ""
                                   << "- shot.png";
    QTest::newRow("spaces only") << "   "
                                 << ""
                                 << "Screenshot 2026-12-05 09.07.03.png";
    QTest::newRow("only an absent app") << " {app}\t"
                                        << ""
                                        << "Screenshot 2026-12-05 09.07.03.png";
    QTest::newRow("slashes") << "a/b\\c"
                             << ""
                             << "a-b-c.png";
    QTest::newRow("all nine, each") << "/\\:*?\"<>|"
                                    << ""
                                    << "---------.png";
    QTest::newRow("upper-case token") << "{DATE} {Time}"
                                      << ""
                                      << "{DATE} {Time}.png";
    QTest::newRow("every occurrence") << "{date}_{date}"
                                      << ""
                                      << "2026-12-05_2026-12-05.png";
    QTest::newRow("app sanitised") << "{app} {time}"
                                   << "Docs: A/B"
                                   << "Docs- A-B 09.07.03.png";
    QTest::newRow("tabs trimmed, breaks kept") << "\t\nname \t"
                                               << ""
                                               << "\nname.png";
}

void ExportServiceTest::templatesRenderToFileNames() {
    QFETCH(QString, nameTemplate);
    QFETCH(QString, app);
    QFETCH(QString, expected);
    QCOMPARE(render(nameTemplate, app), expected);
}

void ExportServiceTest::namesUseWesternDigitsAndTheGivenTimeZone() {
    for (const QLocale& locale :
         {QLocale(QLocale::Ukrainian, QLocale::Ukraine), QLocale(QLocale::Arabic, QLocale::Egypt),
          QLocale(QLocale::Persian, QLocale::Iran)}) {
        QLocale::setDefault(locale);
        QCOMPARE(render("{date} {time}", {}, "mov"), QString("2026-12-05 09.07.03.mov"));
    }
    QLocale::setDefault(QLocale::c());
    const auto inZone = [](const QDateTime& date, const char* zone) {
        return ExportService::renderTemplate("{date} {time}", date, {}, QTimeZone(zone), "png");
    };
    QCOMPARE(inZone(kMoment, "Asia/Tokyo"), QString("2026-12-05 18.07.03.png"));
    QCOMPARE(inZone(kMoment, "Pacific/Honolulu"), QString("2026-12-04 23.07.03.png"));
    QCOMPARE(inZone(QDateTime(QDate(987, 1, 2), QTime(0, 0), QTimeZone::utc()), "UTC"),
             QString("0987-01-02 00.00.00.png"));
}

void ExportServiceTest::formatFollowsTheFileExtension() {
    SettingsStore store = settings();
    store.setText(SettingsStore::Keys::exportFormat, "jpeg"); // not what decides the bytes
    const ExportService service(store);
    const QImage image = solid(QColor(10, 200, 30));
    for (const QString name : {"shot.JPG", "shot.Jpeg"}) {
        QVERIFY(service.write(image, folder(name)));
        QVERIFY(isJpeg(test::readFile(folder(name))));
    }
    for (const QString name : {"shot.tiff", "shot"}) {
        QVERIFY(service.write(image, folder(name)));
        const QByteArray bytes = test::readFile(folder(name));
        QVERIFY(isPng(bytes));
        QCOMPARE(imageio::decode(bytes).convertToFormat(QImage::Format_RGB32), image);
    }
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
    store.setDouble(SettingsStore::Keys::jpegQuality, 1.0);
    QVERIFY(service.write(noisy, folder("q.jpg")));
    const qint64 best = QFileInfo(folder("q.jpg")).size();
    store.setDouble(SettingsStore::Keys::jpegQuality, 0.5);
    QVERIFY(service.write(noisy, folder("q.jpg")));
    QVERIFY(QFileInfo(folder("q.jpg")).size() < best * 2 / 3);

    QVERIFY(service.write(solid(Qt::transparent, QImage::Format_ARGB32), folder("q.jpg")));
    const QColor flattened = imageio::decode(test::readFile(folder("q.jpg"))).pixelColor(10, 10);
    QVERIFY(flattened.red() > 250 && flattened.green() > 250 && flattened.blue() > 250);
}

void ExportServiceTest::writeReplacesAndFailsCleanly() {
    SettingsStore store = settings();
    const ExportService service(store);
    QVERIFY(service.write(solid(Qt::red), folder("same.png")));
    QVERIFY(service.write(solid(Qt::blue), folder("same.png")));
    QCOMPARE(imageio::decode(test::readFile(folder("same.png"))).pixelColor(0, 0),
             QColor(Qt::blue));
    QVERIFY(!service.write(solid(Qt::red), m_dir->filePath("missing/x.png")));
    QVERIFY(!service.write(QImage(), folder("null.png")));
    // Nothing half-written is left behind, not even a temporary file.
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"same.png"});
}

void ExportServiceTest::directSavesNeverReplaceAFile() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    ScriptedDialog dialog;
    const ExportService service(store, &dialog);
    // Two saves within one second share a name.
    const QString name = render("Screenshot {date} {time}");
    for (const QColor color : {Qt::red, Qt::green, Qt::blue}) {
        QCOMPARE(saveAndWait(service, solid(color), name, false), std::optional(true));
    }
    QCOMPARE(dialog.calls, 0);
    const auto colorOf = [&](const QString& file) {
        return imageio::decode(test::readFile(folder(file))).pixelColor(1, 1);
    };
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03.png"), QColor(Qt::red));
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03 (2).png"), QColor(Qt::green));
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03 (3).png"), QColor(Qt::blue));

    const QString jpegName = render("{date}", {}, "jpg");
    QCOMPARE(saveAndWait(service, solid(Qt::red), jpegName, false), std::optional(true));
    QCOMPARE(saveAndWait(service, solid(Qt::red), jpegName, false), std::optional(true));
    QVERIFY(isJpeg(test::readFile(folder("2026-12-05 (2).jpg"))));
}

void ExportServiceTest::directSaveStaysInsideAnExistingFolder() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    const ExportService service(store);
    const auto written = service.saveToChosenFolder(solid(Qt::red), "../escape.png");
    QCOMPARE(written, std::optional(folder("..-escape.png")));
    QVERIFY(!service.saveToChosenFolder(solid(Qt::red), ".png"));

    // The chosen folder was replaced by a file: the save fails and says so.
    QVERIFY(QDir(folder()).removeRecursively());
    QVERIFY(test::writeFile(folder(), "not a folder"));
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", false), std::optional(false));
}

void ExportServiceTest::dialogIsUsedWhenAskedOrWithoutAFolder() {
    SettingsStore store = settings();
    store.setText(SettingsStore::Keys::exportFormat, "jpeg");
    ScriptedDialog dialog;
    dialog.answer = folder("picked.jpg");
    const ExportService service(store, &dialog);
    QCOMPARE(saveAndWait(service, solid(Qt::red), "suggested.jpg", false), std::optional(true));
    QCOMPARE(dialog.offeredName, QString("suggested.jpg"));
    QCOMPARE(dialog.offeredFormat, ExportFormat::Jpeg);
    QVERIFY(isJpeg(test::readFile(*dialog.answer)));
    // Nobody to ask: nothing is written, and the caller hears so.
    QCOMPARE(saveAndWait(ExportService(store), solid(Qt::red), "x.png", false),
             std::optional(false));

    // With a folder chosen, asking still opens the dialog; cancelling writes nothing, and
    // a confirmed choice replaces what is there (the dialog asked about that).
    store.setSaveDirectory(folder());
    store.setText(SettingsStore::Keys::exportFormat, "png");
    dialog.answer.reset();
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", true), std::optional(false));
    QCOMPARE(dialog.calls, 2);
    QCOMPARE(dialog.offeredFormat, ExportFormat::Png);
    QVERIFY(test::writeFile(folder("chosen.png"), "old"));
    dialog.answer = folder("chosen.png");
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", true), std::optional(true));
    QVERIFY(isPng(test::readFile(folder("chosen.png"))));
}

QTEST_GUILESS_MAIN(ExportServiceTest)
#include "ExportServiceTest.moc"
