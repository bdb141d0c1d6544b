#include <QDir>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "library/AppInfoResolver.h"
#include "platform/xdg/DesktopEntryIndex.h"
#include "support/TestSupport.h"

using namespace ivra;

namespace {

// Two application folders as XDG lays them out: the user's, then the system's.
struct ApplicationFolders {
    QTemporaryDir root;
    QString user = root.filePath("home/applications");
    QString system = root.filePath("usr/share/applications");

    void write(const QString& folder, const QString& relativePath, const QByteArray& text) const {
        const QString path = QDir(folder).filePath(relativePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(test::writeFile(path, text));
    }

    AppInfoResolver resolver(const QString& locale = QString()) const {
        return AppInfoResolver(platform::DesktopEntryIndex({user, system}, locale));
    }
};

QRgb iconPixel(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().pixel(8, 8);
}

} // namespace

class AppInfoResolverTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void names_data() {
        QTest::addColumn<QByteArray>("entry"); // written as org.gnome.Files, unless empty
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("id"); // a null id stands for no source application
        QTest::addColumn<QString>("name");
        const QByteArray localized = "[Desktop Entry]\nName=Files\nName[uk]=Файли\n"
                                     "Name[uk_UA]=Файли (UA)\nName[sr@latin]=Datoteke\n";
        const QString files = QStringLiteral("org.gnome.Files");
        QTest::newRow("country match") << localized << "uk_UA.UTF-8" << files << "Файли (UA)";
        QTest::newRow("language match") << localized << "uk_PL.UTF-8" << files << "Файли";
        QTest::newRow("modifier match") << localized << "sr_RS@latin" << files << "Datoteke";
        QTest::newRow("no match") << localized << "de_DE.UTF-8" << files << "Files";
        QTest::newRow("plain name") << QByteArray("[Desktop Entry]\nName = Text  Editor \n")
                                    << "uk_UA" << files << "Text  Editor";
        QTest::newRow("escapes") << QByteArray("[Desktop Entry]\nName=Tab\\there\\sand\\\\\n") << ""
                                 << files << "Tab\there and\\";
        QTest::newRow("other groups ignored, file name")
            << QByteArray("# comment\n[Desktop Action new]\nName=New Window\n[Desktop Entry]\n")
            << "" << files << files;
        // Unknown applications: the last dotted part of the id, no icon.
        const auto unknown = [](const char* row, const QString& id, const QString& name) {
            QTest::newRow(row) << QByteArray() << QString() << id << name;
        };
        unknown("no source", QString(), "Screenshot");
        unknown("empty source", "", "Screenshot");
        unknown("dotted", "org.example.Sketchpad", "Sketchpad");
        unknown("undotted", "gimp", "gimp");
        unknown("trailing dot", "org.example.", "org.example.");
    }

    void names() {
        QFETCH(QByteArray, entry);
        QFETCH(QString, locale);
        QFETCH(QString, id);
        QFETCH(QString, name);
        ApplicationFolders folders;
        if (!entry.isEmpty()) {
            folders.write(folders.system, "org.gnome.Files.desktop", entry);
        }
        const AppInfoResolver::Info info =
            folders.resolver(locale).info(id.isNull() ? std::nullopt : std::optional(id));
        QCOMPARE(info.name, name);
        if (entry.isEmpty()) {
            QVERIFY(info.icon.isNull());
        }
    }

    void entryLookupFollowsTheFolderRules() {
        ApplicationFolders folders;
        // The user's folder wins over the system's.
        folders.write(folders.user, "firefox.desktop", "[Desktop Entry]\nName=My Firefox\n");
        folders.write(folders.system, "firefox.desktop", "[Desktop Entry]\nName=Firefox\n");
        // Hidden in the user's folder removes the system's entry.
        folders.write(folders.user, "org.example.Old.desktop", "[Desktop Entry]\nHidden=true\n");
        folders.write(folders.system, "org.example.Old.desktop", "[Desktop Entry]\nName=Old App\n");
        // Subfolders become dashes in the id.
        folders.write(folders.system, "kde4/okular.desktop", "[Desktop Entry]\nName=Okular\n");
        // A file without the main group is not an entry.
        folders.write(folders.user, "broken.desktop", "Name=Broken\n");

        AppInfoResolver resolver = folders.resolver();
        QCOMPARE(resolver.info(QStringLiteral("firefox")).name, "My Firefox");
        QCOMPARE(resolver.info(QStringLiteral("org.example.Old")).name, "Old");
        QCOMPARE(resolver.info(QStringLiteral("kde4-okular")).name, "Okular");
        QCOMPARE(resolver.info(QStringLiteral("broken")).name, "broken");
        QCOMPARE(resolver.info(QStringLiteral("firefox.desktop")).name, "My Firefox");
    }

    void unsafeIdsNeverLeaveTheApplicationFolders() {
        ApplicationFolders folders;
        folders.write(folders.root.path(), "secret.desktop", "[Desktop Entry]\nName=Secret\n");
        folders.write(folders.system, ".hidden.desktop", "[Desktop Entry]\nName=Dot\n");
        platform::DesktopEntryIndex index({folders.system}, QString());
        for (const QString& id : {QStringLiteral("../../../secret"), QStringLiteral("../../secret"),
                                  QStringLiteral(".hidden"), QStringLiteral("/etc/passwd")}) {
            QVERIFY2(!index.find(id), qPrintable(id));
        }
    }

    void iconsFromFilesAndTheTheme() {
        ApplicationFolders folders;
        const auto saveIcon = [&](const QString& relativePath, Qt::GlobalColor colour) {
            QImage image(32, 32, QImage::Format_ARGB32);
            image.fill(colour);
            const QString path = folders.root.filePath(relativePath);
            return QDir().mkpath(QFileInfo(path).absolutePath()) && image.save(path);
        };
        QVERIFY(saveIcon("sketch.png", Qt::red));
        // A small icon theme with one application icon.
        QVERIFY(saveIcon("icons/ivratest/32x32/apps/org.example.Paint.png", Qt::blue));
        folders.write(folders.root.filePath("icons"), "ivratest/index.theme",
                      "[Icon Theme]\nName=Ivra Test\nDirectories=32x32/apps\n\n"
                      "[32x32/apps]\nSize=32\nType=Fixed\n");
        QIcon::setThemeSearchPaths({folders.root.filePath("icons")});
        QIcon::setThemeName(QStringLiteral("ivratest"));
        const QList<std::pair<QString, QString>> icons{
            {"sketch", folders.root.filePath("sketch.png")},
            {"nowhere", "/no/such/icon.png"},
            {"org.example.Paint", "org.example.Paint"},
            {"org.example.Draw", "org.example.Paint.png"},
            {"org.example.Blank", "org.example.Unthemed"}};
        for (const auto& [id, icon] : icons) {
            folders.write(folders.system, id + ".desktop",
                          "[Desktop Entry]\nName=" + id.toUtf8() + "\nIcon=" + icon.toUtf8() +
                              "\n");
        }

        AppInfoResolver resolver = folders.resolver();
        QCOMPARE(iconPixel(resolver.info(QStringLiteral("sketch")).icon), qRgb(255, 0, 0));
        QVERIFY(resolver.info(QStringLiteral("nowhere")).icon.isNull());
        QCOMPARE(iconPixel(resolver.info(QStringLiteral("org.example.Paint")).icon),
                 qRgb(0, 0, 255));
        QCOMPARE(iconPixel(resolver.info(QStringLiteral("org.example.Draw")).icon),
                 qRgb(0, 0, 255));
        QVERIFY(resolver.info(QStringLiteral("org.example.Blank")).icon.isNull());
    }

    void environmentFoldersAreUsed() {
        ApplicationFolders folders;
        folders.write(folders.system, "org.example.Viewer.desktop",
                      "[Desktop Entry]\nName=Viewer\nName[uk]=Переглядач\n");
        qputenv("XDG_DATA_DIRS", QFile::encodeName(QFileInfo(folders.system).absolutePath()));
        qputenv("LC_ALL", "");
        qputenv("LC_MESSAGES", "uk_UA.UTF-8");
        AppInfoResolver resolver;
        QCOMPARE(resolver.info(QStringLiteral("org.example.Viewer")).name, "Переглядач");
    }
};

QTEST_MAIN(AppInfoResolverTest)
#include "AppInfoResolverTest.moc"
