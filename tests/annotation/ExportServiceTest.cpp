#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "annotation/ExportService.h"
#include "annotation/ui/FileSaveDialog.h"
#include "imageio/ImageCodec.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

const QDateTime kMoment(QDate(2026, 12, 5), QTime(9, 7, 3), QTimeZone::utc());

QString render(const QString& nameTemplate, const QString& app = {},
               const QByteArray& zone = "UTC") {
    return ExportService::renderTemplate(nameTemplate, kMoment, app, QTimeZone(zone), "png");
}

QImage solid(const QColor& color, QImage::Format format = QImage::Format_RGB32) {
    QImage image(32, 24, format);
    image.fill(color);
    return image;
}

const QByteArray kJpegSignature("\xFF\xD8\xFF");
const QByteArray kPngSignature("\x89PNG\r\n\x1A\n");

// Runs save() and waits for its completion, which must come from the event loop later.
std::optional<bool> saveAndWait(const ExportService& service, const QImage& image,
                                const QString& name, bool useDialog) {
    std::optional<bool> result;
    service.save(image, name, useDialog, [&](bool ok) { result = ok; });
    if (result) {
        return std::nullopt;
    }
    return QTest::qWaitFor([&] { return result.has_value(); }, 5000) ? result : std::nullopt;
}

} // namespace

class ExportServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void templatesRenderToFileNames_data();
    void templatesRenderToFileNames();
    void writeFollowsTheExtensionReplacesFailsCleanlyAndFlattensJpeg();
    void directSavesStayInTheFolderAndNeverReplaceAFile();
    void dialogIsUsedWhenAskedOrWithoutAFolder();

private:
    std::optional<bool> saveThroughDialog(const ExportService& service, const QString& name,
                                          bool useDialog, const QString& typed);
    SettingsStore settings() const {
        return SettingsStore(
            std::make_shared<platform::IniKeyValueStore>(m_dir->filePath("Ivra.conf")));
    }
    QString folder(const QString& file = {}) const {
        return m_dir->filePath(file.isEmpty() ? "Shots" : "Shots/" + file);
    }
    QColor colorOf(const QString& file) const {
        return imageio::decode(test::readFile(folder(file))).pixelColor(1, 1);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_offeredName; // by the last save dialog
    QStringList m_offeredTypes;
};

void ExportServiceTest::init() {
    // Names keep Western digits whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(folder()));
}

void ExportServiceTest::templatesRenderToFileNames_data() {
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<QString>("app");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("zone");
    const auto row = [](const char* name, const char* nameTemplate, const char* app,
                        const char* expected, const char* zone = "UTC") {
        QTest::newRow(name) << QString(nameTemplate) << QString(app) << QString(expected)
                            << QString(zone);
    };
    row("default", "Screenshot {date} {time}", "", "Screenshot 2026-12-05 09.07.03.png");
    row("only an absent app", " {app}\t", "", "Screenshot 2026-12-05 09.07.03.png");
    row("all nine, each", "/\\:*?\"<>|", "", "---------.png");
    row("tokens case-sensitive, every occurrence", "{DATE} {date}_{date}", "",
        "{DATE} 2026-12-05_2026-12-05.png");
    row("app sanitised", "{app} {time}", "Docs: A/B", "Docs- A-B 09.07.03.png");
    row("clock of the zone", "{date} {time}", "", "2026-12-04 23.07.03.png", "Pacific/Honolulu");
}

void ExportServiceTest::templatesRenderToFileNames() {
    QFETCH(QString, nameTemplate);
    QFETCH(QString, app);
    QFETCH(QString, expected);
    QFETCH(QString, zone);
    QCOMPARE(render(nameTemplate, app, zone.toLatin1()), expected);
}

void ExportServiceTest::writeFollowsTheExtensionReplacesFailsCleanlyAndFlattensJpeg() {
    SettingsStore store = settings();
    store.setText(SettingsStore::Keys::exportFormat, "jpeg"); // not what decides the bytes
    const ExportService service(store);
    const QImage image = solid(QColor(10, 200, 30));
    for (const QString name : {"a.JPG", "b.Jpeg", "c.tiff", "d"}) {
        QVERIFY(service.write(image, folder(name)));
        const bool jpeg = name.contains('j', Qt::CaseInsensitive);
        QVERIFY(test::readFile(folder(name)).startsWith(jpeg ? kJpegSignature : kPngSignature));
    }
    QVERIFY(service.write(solid(Qt::blue), folder("d")));
    QCOMPARE(colorOf("d"), QColor(Qt::blue));
    QVERIFY(!service.write(solid(Qt::red), m_dir->filePath("missing/x.png")));
    QVERIFY(!service.write(QImage(), folder("null.png")));
    // Nothing half-written is left behind, not even a temporary file.
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.JPG", "b.Jpeg", "c.tiff", "d"}));

    // JPEG follows the quality setting and flattens transparency onto white.
    QImage noisy(200, 150, QImage::Format_RGB32);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noisy.bits()), 200 * 150);
    store.setDouble(SettingsStore::Keys::jpegQuality, 1.0);
    QVERIFY(service.write(noisy, folder("q.jpg")));
    const qint64 best = QFileInfo(folder("q.jpg")).size();
    store.setDouble(SettingsStore::Keys::jpegQuality, 0.5);
    QVERIFY(service.write(noisy, folder("q.jpg")));
    QVERIFY(QFileInfo(folder("q.jpg")).size() < best * 2 / 3);

    QVERIFY(service.write(solid(Qt::transparent, QImage::Format_ARGB32), folder("q.jpg")));
    const QColor flattened = colorOf("q.jpg");
    QVERIFY(flattened.red() > 250 && flattened.green() > 250 && flattened.blue() > 250);
}

void ExportServiceTest::directSavesStayInTheFolderAndNeverReplaceAFile() {
    SettingsStore store = settings();
    store.setSaveDirectory(folder());
    const ExportService service(store); // no dialog: saving through one would fail
    // Two saves within one second share a name.
    const QString name = render("Screenshot {date} {time}");
    for (const QColor color : {Qt::red, Qt::green}) {
        QCOMPARE(saveAndWait(service, solid(color), name, false), std::optional(true));
    }
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03.png"), QColor(Qt::red));
    QCOMPARE(colorOf("Screenshot 2026-12-05 09.07.03 (2).png"), QColor(Qt::green));

    // The name stays a name inside the folder.
    QCOMPARE(service.saveToChosenFolder(solid(Qt::red), "../escape.png"),
             std::optional(folder("..-escape.png")));
    QVERIFY(!service.saveToChosenFolder(solid(Qt::red), ".png"));
    // The chosen folder was replaced by a file: the save fails and says so.
    QVERIFY(QDir(folder()).removeRecursively());
    QVERIFY(test::writeFile(folder(), "not a folder"));
    QCOMPARE(saveAndWait(service, solid(Qt::red), "x.png", false), std::optional(false));
}

// Saves as a user at the save dialog would: once it is up, reads what it offers, then types
// `typed` and presses Return, or cancels when `typed` is empty.
std::optional<bool> ExportServiceTest::saveThroughDialog(const ExportService& service,
                                                         const QString& name, bool useDialog,
                                                         const QString& typed) {
    QTimer user;
    user.callOnTimeout([&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            return;
        }
        user.stop();
        m_offeredTypes = dialog->nameFilters();
        auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit");
        m_offeredName = nameEdit->text();
        nameEdit->setText(typed);
        QTest::keyClick(nameEdit, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    });
    user.start(20);
    return saveAndWait(service, solid(Qt::red), name, useDialog);
}

void ExportServiceTest::dialogIsUsedWhenAskedOrWithoutAFolder() {
    SettingsStore store = settings();
    store.setText(SettingsStore::Keys::exportFormat, "jpeg");
    FileSaveDialog dialog(nullptr, folder());
    const ExportService service(store, &dialog);
    // No folder chosen: the dialog offers the name and JPEG alone, and adds the extension.
    QCOMPARE(saveThroughDialog(service, "suggested.jpg", false, "picked"), std::optional(true));
    QCOMPARE(m_offeredName, QString("suggested.jpg"));
    QCOMPARE(m_offeredTypes, QStringList{"JPEG image (*.jpg *.jpeg)"});
    QVERIFY(test::readFile(folder("picked.jpg")).startsWith(kJpegSignature));
    // Nobody to ask: nothing is written, and the caller hears so.
    QCOMPARE(saveAndWait(ExportService(store), solid(Qt::red), "x.png", false),
             std::optional(false));

    // With a folder chosen, asking still opens the dialog; cancelling writes nothing.
    store.setSaveDirectory(folder());
    store.setText(SettingsStore::Keys::exportFormat, "png");
    QCOMPARE(saveThroughDialog(service, "x.png", true, ""), std::optional(false));
    QCOMPARE(m_offeredTypes, QStringList{"PNG image (*.png)"});
    QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList{"picked.jpg"});
}

QTEST_MAIN(ExportServiceTest)
#include "ExportServiceTest.moc"
