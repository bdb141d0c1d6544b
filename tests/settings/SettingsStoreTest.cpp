#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "platform/xdg/FolderBookmark.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/FolderChooser.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

class ScriptedChooser final : public FolderChooser {
public:
    std::optional<QString> answer;
    int calls = 0;
    FolderChoiceRequest lastRequest;
    std::optional<QString> chooseFolder(const FolderChoiceRequest& request) override {
        ++calls;
        lastRequest = request;
        return answer;
    }
};

} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void emptyStoreGivesEveryDefault();
    void storedValuesReadBackAfterReopening();
    void unrecognisedTextsReadAsTheDefaultCase_data();
    void unrecognisedTextsReadAsTheDefaultCase();
    void retentionLimitAndOption();
    void booleansDefaultingToYesTellAStoredNoFromAbsence();
    void wrongTypesAndGarbageReadAsDefaults();
    void handWrittenTextWithCommasReadsAsWritten();
    void unreadableFileReadsAsDefaults();
    void folderPromptCancelStoresNothingAndAsksAgain();
    void choosingAFolderStoresPathAndBookmark();
    void replacedFolderMakesTheBookmarkStale();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("Ivra.conf")); }
    SettingsStore makeStore() const {
        return SettingsStore(std::make_shared<platform::IniKeyValueStore>(iniPath()));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void SettingsStoreTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
}

void SettingsStoreTest::emptyStoreGivesEveryDefault() {
    const SettingsStore s = makeStore();
    QCOMPARE(s.filenameTemplate(), QStringLiteral("Screenshot {date} {time}"));
    QCOMPARE(s.exportFormat(), ExportFormat::Png);
    QCOMPARE(s.jpegQuality(), 0.9);
    QCOMPARE(s.retentionLimit(), std::optional<int>(100));
    QVERIFY(s.playSoundOnCapture());
    QVERIFY(!s.showCursorInCapture());
    QCOMPARE(s.countdownSeconds(), 0);
    QCOMPARE(s.afterCaptureAction(), AfterCaptureAction::Pin);
    QVERIFY(!s.autoCopyOnCapture());
    QVERIFY(s.showInDock());
    QCOMPARE(s.appIconStyle(), QStringLiteral("neo"));
    QCOMPARE(s.recordingTarget(), RecordingTarget::Screen);
    QCOMPARE(s.recordingQuality(), RecordingQuality::Max);
    QVERIFY(s.showCameraBubble());
    QCOMPARE(s.bubbleBorderColor(), BubbleBorderColor::White);
    QVERIFY(!s.recordingBlurBackground());
    QVERIFY(s.recordingNoiseReduction());
    QVERIFY(!s.recordingSystemAudio());
    QVERIFY(s.recordingCameraDeviceID().isEmpty());
    QVERIFY(s.recordingMicDeviceID().isEmpty());
    for (const auto& action : allCases<CaptureAction>()) {
        QCOMPARE(s.isHotKeyEnabled(action.value), action.value == CaptureAction::Area);
        QVERIFY(!s.hotKeyData(action.value));
    }
    QVERIFY(!s.hasUserSaveDestination());
    QCOMPARE(s.saveDirectory(), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QVERIFY(!QFile::exists(iniPath())); // reading never writes

    // Every default in the table is well formed for its kind (a "0,9" would read as 0).
    SettingsStore written = makeStore();
    for (const auto& definition : SettingsStore::kDefinitions) {
        if (!definition.defaultValue) {
            continue;
        }
        const QString key = QString::fromLatin1(definition.key);
        written.setText(definition.key, QString::fromUtf8(definition.defaultValue));
        switch (definition.kind) {
        case SettingsStore::Kind::YesNo:
            QVERIFY2(written.readBool(key), definition.key);
            break;
        case SettingsStore::Kind::Integer:
            QVERIFY2(written.readInt(key), definition.key);
            break;
        case SettingsStore::Kind::Real:
            QVERIFY2(written.readDouble(key), definition.key);
            break;
        case SettingsStore::Kind::Text:
        case SettingsStore::Kind::Data:
            break;
        }
    }
}

void SettingsStoreTest::storedValuesReadBackAfterReopening() {
    {
        SettingsStore s = makeStore();
        s.setText(SettingsStore::Keys::filenameTemplate, QStringLiteral("Shot, {app} {date}"));
        s.setDouble(SettingsStore::Keys::jpegQuality, 0.55);
        s.setInt(SettingsStore::Keys::countdownSeconds, 5);
        s.setText(SettingsStore::Keys::afterCaptureAction, QStringLiteral("editor"));
        s.setRecordingQuality(RecordingQuality::High);
        s.setBubbleBorderColor(BubbleBorderColor::Violet);
        s.setHotKeyEnabled(CaptureAction::Ocr, true);
        s.setHotKeyData(CaptureAction::Window, QByteArrayLiteral("{\"keyCode\":19}"));
    }
    const SettingsStore s = makeStore();
    QCOMPARE(s.filenameTemplate(), QStringLiteral("Shot, {app} {date}"));
    QCOMPARE(s.jpegQuality(), 0.55);
    QCOMPARE(s.countdownSeconds(), 5);
    QCOMPARE(s.afterCaptureAction(), AfterCaptureAction::Editor);
    QCOMPARE(s.recordingQuality(), RecordingQuality::High);
    QCOMPARE(s.bubbleBorderColor(), BubbleBorderColor::Violet);
    QVERIFY(s.isHotKeyEnabled(CaptureAction::Ocr));
    QCOMPARE(s.hotKeyData(CaptureAction::Window), QByteArrayLiteral("{\"keyCode\":19}"));
}

void SettingsStoreTest::unrecognisedTextsReadAsTheDefaultCase_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::newRow("quality in capitals") << "recording.quality"
                                         << "HIGH";
    QTest::newRow("empty target") << "recording.target"
                                  << "";
    QTest::newRow("format in capitals") << "exportFormat"
                                        << "JPEG";
    QTest::newRow("unknown action") << "afterCaptureAction"
                                    << "share";
    QTest::newRow("unknown colour") << "recording.bubbleColor"
                                    << "pink";
}

void SettingsStoreTest::unrecognisedTextsReadAsTheDefaultCase() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    SettingsStore s = makeStore();
    s.setText(key.toLatin1().constData(), stored);
    QCOMPARE(s.recordingQuality(), RecordingQuality::Max);
    QCOMPARE(s.recordingTarget(), RecordingTarget::Screen);
    QCOMPARE(s.exportFormat(), ExportFormat::Png);
    QCOMPARE(s.afterCaptureAction(), AfterCaptureAction::Pin);
    QCOMPARE(s.bubbleBorderColor(), BubbleBorderColor::White);
}

void SettingsStoreTest::retentionLimitAndOption() {
    SettingsStore s = makeStore();
    const auto stored = [&](int value) {
        s.setInt(SettingsStore::Keys::retentionLimit, value);
        return std::pair{s.retentionLimit(), s.retentionOption()};
    };
    QCOMPARE(stored(-1), std::pair(std::optional<int>(), RetentionOption::Unlimited));
    QCOMPARE(stored(0), std::pair(std::optional<int>(0), RetentionOption::OneHundred));
    QCOMPARE(stored(50), std::pair(std::optional<int>(50), RetentionOption::Fifty));
    QCOMPARE(stored(42), std::pair(std::optional<int>(42), RetentionOption::OneHundred));
    QCOMPARE(stored(300), std::pair(std::optional<int>(300), RetentionOption::ThreeHundred));
    s.setRetentionLimit(retentionLimit(RetentionOption::Unlimited));
    QCOMPARE(s.retentionLimit(), std::nullopt);
    QCOMPARE(rawValue(RetentionOption::Unlimited), QStringLiteral("Unlimited"));
}

void SettingsStoreTest::booleansDefaultingToYesTellAStoredNoFromAbsence() {
    SettingsStore s = makeStore();
    s.setBool(SettingsStore::Keys::playSoundOnCapture, false);
    s.setBool(SettingsStore::Keys::showInDock, false);
    QVERIFY(!s.playSoundOnCapture());
    QVERIFY(!makeStore().showInDock());
    s.remove(SettingsStore::Keys::playSoundOnCapture);
    QVERIFY(s.playSoundOnCapture());

    // Hand-written 0 and 1 mean no and yes, whatever the default.
    QVERIFY(test::writeFile(iniPath(), "[General]\n"
                                       "playSoundOnCapture=0\n"
                                       "showCursorInCapture=1\n"
                                       "recording.systemAudio=1\n"));
    const SettingsStore written = makeStore();
    QVERIFY(!written.playSoundOnCapture());
    QVERIFY(written.showCursorInCapture());
    QVERIFY(written.recordingSystemAudio());
}

void SettingsStoreTest::wrongTypesAndGarbageReadAsDefaults() {
    // A hand-edited or damaged file: values of the wrong kind and lines that are not INI.
    QVERIFY(test::writeFile(iniPath(), "\x01\x02 not ini at all ]]]\n"
                                       "[General]\n"
                                       "jpegQuality=very good\n"
                                       "retentionLimit=12abc\n"
                                       "countdownSeconds=@ByteArray(3)\n"
                                       "showInDock=maybe\n"
                                       "playSoundOnCapture=\n"
                                       "filenameTemplate=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x12)\n"
                                       "saveDirectoryBookmark=plain text, not data\n"
                                       "recording.noiseReduction=2\n"
                                       "\xff\xfe garbage = = =\n"));
    const SettingsStore s = makeStore();
    QCOMPARE(s.jpegQuality(), 0.9);
    QCOMPARE(s.retentionLimit(), std::optional<int>(100));
    QCOMPARE(s.countdownSeconds(), 0);
    QVERIFY(s.showInDock());
    QVERIFY(s.playSoundOnCapture());
    QCOMPARE(s.filenameTemplate(), QStringLiteral("Screenshot {date} {time}"));
    QVERIFY(!s.hasUserSaveDestination());
    QVERIFY(s.recordingNoiseReduction());
}

void SettingsStoreTest::handWrittenTextWithCommasReadsAsWritten() {
    // Without quotes an INI reader sees a list; the user wrote one text.
    QVERIFY(test::writeFile(iniPath(), "[General]\n"
                                       "filenameTemplate=Shot {date},  {time}, {app}\n"
                                       "appIconStyle = neo,classic\n"));
    SettingsStore s = makeStore();
    QCOMPARE(s.filenameTemplate(), QStringLiteral("Shot {date},  {time}, {app}"));
    QCOMPARE(s.appIconStyle(), QStringLiteral("neo,classic"));
    // What Ivra writes itself reads back unchanged too.
    s.setText(SettingsStore::Keys::filenameTemplate, QStringLiteral("a, b,c"));
    QCOMPARE(makeStore().filenameTemplate(), QStringLiteral("a, b,c"));
}

void SettingsStoreTest::unreadableFileReadsAsDefaults() {
    // A directory where the file should be cannot be read (even by root).
    QVERIFY(QDir().mkpath(iniPath()));
    SettingsStore s = makeStore();
    QCOMPARE(s.retentionLimit(), std::optional<int>(100));
    QVERIFY(s.showInDock());
    s.setBool(SettingsStore::Keys::showInDock, false); // must not crash either
}

void SettingsStoreTest::folderPromptCancelStoresNothingAndAsksAgain() {
    SettingsStore s = makeStore();
    ScriptedChooser chooser;
    QVERIFY(!s.ensureSaveDestination(chooser));
    QVERIFY(!s.ensureSaveDestination(chooser));
    QCOMPARE(chooser.calls, 2);
    QCOMPARE(chooser.lastRequest.acceptLabel, QStringLiteral("Обрати"));
    QVERIFY(chooser.lastRequest.message.startsWith(QStringLiteral("Де зберігати знімки Ivra?")));
    QCOMPARE(chooser.lastRequest.startDirectory,
             QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QVERIFY(!s.defaults().contains(QStringLiteral("saveDirectoryPath")));
    QVERIFY(!s.defaults().contains(QStringLiteral("saveDirectoryBookmark")));
}

void SettingsStoreTest::choosingAFolderStoresPathAndBookmark() {
    SettingsStore s = makeStore();
    const QString folder = m_dir->filePath(QStringLiteral("Shots"));
    QVERIFY(QDir().mkpath(folder));
    ScriptedChooser chooser;
    chooser.answer = folder;
    QVERIFY(s.ensureSaveDestination(chooser));
    QVERIFY(s.ensureSaveDestination(chooser)); // asks only once
    QCOMPARE(chooser.calls, 1);
    QCOMPARE(makeStore().saveDirectory(), folder);
    QVERIFY(makeStore().hasUserSaveDestination());

    // Removing the bookmark by hand keeps the folder but not the user's choice.
    s.remove(SettingsStore::Keys::saveDirectoryBookmark);
    QCOMPARE(s.saveDirectory(), folder);
    QVERIFY(!s.hasUserSaveDestination());

    // A folder that cannot be bookmarked (it does not exist) stores the path only.
    s.setSaveDirectory(m_dir->filePath(QStringLiteral("missing")));
    QVERIFY(!s.hasUserSaveDestination());
}

void SettingsStoreTest::replacedFolderMakesTheBookmarkStale() {
    SettingsStore s = makeStore();
    const QString folder = m_dir->filePath(QStringLiteral("Shots"));
    QVERIFY(QDir().mkpath(folder));
    s.setSaveDirectory(folder);
    const QByteArray original = *s.readData(QStringLiteral("saveDirectoryBookmark"));
    QCOMPARE(platform::FolderBookmark::resolve(original)->stale, false);

    // Replace the folder with a new one under the same path. The old one is moved
    // aside rather than removed so its inode number cannot be handed to the new one.
    QVERIFY(QDir().rename(folder, m_dir->filePath(QStringLiteral("Shots (old)"))));
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(platform::FolderBookmark::resolve(original)->stale, true);

    // Removed and recreated: some file systems reuse the freed inode number at once;
    // where the file system records birth times the replacement is still noticed.
    const QByteArray beforeRecreate = *platform::FolderBookmark::create(folder);
    const bool recordsBirth =
        QJsonDocument::fromJson(beforeRecreate).object().contains(QStringLiteral("birth"));
    const QString inodeBefore =
        QJsonDocument::fromJson(beforeRecreate).object().value(QStringLiteral("ino")).toString();
    QTest::qWait(5); // birth times are kept to at least the millisecond
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(folder));
    const QString inodeAfter = QJsonDocument::fromJson(*platform::FolderBookmark::create(folder))
                                   .object()
                                   .value(QStringLiteral("ino"))
                                   .toString();
    if (recordsBirth || inodeAfter != inodeBefore) {
        QCOMPARE(platform::FolderBookmark::resolve(beforeRecreate)->stale, true);
    }

    // Writers renew a stale bookmark as they resolve it.
    QCOMPARE(s.resolveSaveFolderForWriting(), folder);
    const QByteArray renewed = *s.readData(QStringLiteral("saveDirectoryBookmark"));
    QVERIFY(renewed != original);
    QCOMPARE(platform::FolderBookmark::resolve(renewed)->stale, false);

    // A vanished folder does not resolve; writers fall back to the stored path.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!platform::FolderBookmark::resolve(renewed));
    QVERIFY(!platform::FolderBookmark::resolve("{broken"));
    QCOMPARE(s.resolveSaveFolderForWriting(), folder);
}

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
