#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include "library/CaptureRepository.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

// One start of the library, as an ordinary user sees it: where its thumbnails go (the
// library's own folder, or a temporary one when it runs from memory), whether it has a
// notice for the user, how many captures it holds; then it stores one more.
int child(const QString& baseFolder, const QString& settingsFile) {
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(settingsFile));
    CaptureRepository repository(settings, baseFolder);
    const bool persistent =
        repository.capturesDirectory() == QDir(baseFolder).filePath(QStringLiteral("Captures"));
    std::printf("persistent=%d notice=%d records=%lld\n", int(persistent),
                int(repository.damagedStoreNotice().has_value()),
                static_cast<long long>(repository.fetchAll().size()));
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    return repository.insert(image, std::nullopt, QDateTime::currentDateTime()) ? 0 : 3;
}

} // namespace

// A store file the user cannot read (mode 000). Root reads any file, so the library runs in
// a child with an ordinary user's rights.
class UnreadableStoreTest : public QObject {
    Q_OBJECT

    QByteArray startAsNobody(const QString& base, const QString& settings) {
        const auto run =
            test::runProcess(QStringLiteral("setpriv"),
                             {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                              QCoreApplication::applicationFilePath(), "child", base, settings});
        if (run.exitCode != 0) {
            qWarning("child: %s", run.standardError.constData());
        }
        return run.standardOutput.trimmed();
    }

private Q_SLOTS:
    void anUnreadableStoreIsSetAsideOnceNotUsedFromMemoryEveryTime() {
        if (geteuid() != 0) {
            QSKIP("needs root to run the library as another user");
        }
        // Outside the test's own temporary folder, which only its owner may enter.
        QTemporaryDir root(QStringLiteral("/tmp/ivra-store-XXXXXX"));
        QVERIFY(QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ExeOther |
                                                       QFile::ReadOther));
        const QString base = root.filePath(QStringLiteral("Vantrel"));
        const QString pictures = root.filePath(QStringLiteral("Pictures"));
        const QString settingsFile = root.filePath(QStringLiteral("Ivra.conf"));
        QVERIFY(QDir().mkpath(base) && QDir().mkpath(pictures));
        {
            SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(settingsFile));
            settings.setSaveDirectory(pictures);
        }
        for (const QString& path : {base, pictures, settingsFile}) {
            QCOMPARE(test::runProcess(QStringLiteral("chown"), {"nobody:nogroup", path}).exitCode,
                     0);
        }

        QCOMPARE(startAsNobody(base, settingsFile), QByteArray("persistent=1 notice=0 records=0"));
        QCOMPARE(startAsNobody(base, settingsFile), QByteArray("persistent=1 notice=0 records=1"));

        // Unreadable from now on: set aside once, with a notice, and a fresh store on disk…
        const QString store = QDir(base).filePath(QStringLiteral("Vantrel.store"));
        QVERIFY(QFile::setPermissions(store, {}));
        QCOMPARE(startAsNobody(base, settingsFile), QByteArray("persistent=1 notice=1 records=0"));
        QCOMPARE(QDir(base).entryList({QStringLiteral("Vantrel.store.damaged-*")}).size(), 1);
        // …that the next start simply uses.
        QCOMPARE(startAsNobody(base, settingsFile), QByteArray("persistent=1 notice=0 records=1"));
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "child") {
        QGuiApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QGuiApplication app(argc, argv);
    UnreadableStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "UnreadableStoreTest.moc"
