#include <QDir>
#include <QIcon>
#include <QImage>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "library/AppInfoResolver.h"
#include "platform/xdg/DesktopEntryIndex.h"
#include "support/TestSupport.h"

using namespace ivra;

static std::optional<QString> optionalId(const QString& id) {
    return id.isNull() ? std::nullopt : std::optional(id);
}

// One scene for every case: two application folders as XDG lays them out (the user's, then
// the system's), a small icon theme, and files outside both folders.
class AppInfoResolverTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_root;
    QString m_user = m_root.filePath("home/applications");
    QString m_system = m_root.filePath("usr/share/applications");

    bool write(const QString& folder, const QString& relativePath, const QByteArray& text) const {
        const QString path = QDir(folder).filePath(relativePath);
        return QDir().mkpath(QFileInfo(path).absolutePath()) && test::writeFile(path, text);
    }
    bool writeEntry(const QString& folder, const QString& id, const QByteArray& body) const {
        return write(folder, id + ".desktop", "[Desktop Entry]\n" + body);
    }
    bool writeIcon(const QString& relativePath, Qt::GlobalColor colour) const {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = m_root.filePath(relativePath);
        return QDir().mkpath(QFileInfo(path).absolutePath()) && image.save(path);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(writeEntry(m_system, "org.gnome.Files",
                           "Name=Files\nName[uk]=Файли\nName[uk_UA]=Файли (UA)\n"
                           "Name[sr@latin]=Datoteke\n"));
        QVERIFY(writeEntry(m_system, "org.example.Editor", "Name = Text  Editor \n"));
        QVERIFY(writeEntry(m_system, "org.example.Escapes", "Name=Tab\\there\\sand\\\\\n"));
        QVERIFY(write(m_system, "org.example.Actions.desktop",
                      "# comment\n[Desktop Action new]\nName=New Window\n[Desktop Entry]\n"));
        // The user's folder wins over the system's, and Hidden there removes the system's
        // entry; subfolders become dashes in the id; a file without the main group is no entry.
        QVERIFY(writeEntry(m_user, "firefox", "Name=My Firefox\n"));
        QVERIFY(writeEntry(m_system, "firefox", "Name=Firefox\n"));
        QVERIFY(writeEntry(m_user, "org.example.Old", "Hidden=true\n"));
        QVERIFY(writeEntry(m_system, "org.example.Old", "Name=Old App\n"));
        QVERIFY(writeEntry(m_system, "kde4/okular", "Name=Okular\n"));
        QVERIFY(write(m_user, "broken.desktop", "Name=Broken\n"));
        // Entries that ids must never reach.
        QVERIFY(writeEntry(m_root.path(), "secret", "Name=Secret\n"));
        QVERIFY(writeEntry(m_system, ".hidden", "Name=Dot\n"));

        QVERIFY(writeIcon("sketch.png", Qt::red));
        QVERIFY(writeIcon("icons/ivratest/32x32/apps/org.example.Paint.png", Qt::blue));
        QVERIFY(write(m_root.filePath("icons"), "ivratest/index.theme",
                      "[Icon Theme]\nName=Ivra Test\nDirectories=32x32/apps\n\n"
                      "[32x32/apps]\nSize=32\nType=Fixed\n"));
        QIcon::setThemeSearchPaths({m_root.filePath("icons")});
        QIcon::setThemeName(QStringLiteral("ivratest"));
        const QList<std::pair<QString, QString>> icons{
            {"sketch", m_root.filePath("sketch.png")},
            {"nowhere", "/no/such/icon.png"},
            {"org.example.Paint", "org.example.Paint"},
            {"org.example.Draw", "org.example.Paint.png"},
            {"org.example.Blank", "org.example.Unthemed"}};
        for (const auto& [id, icon] : icons) {
            QVERIFY(writeEntry(m_system, id, "Name=" + id.toUtf8() + "\nIcon=" + icon.toUtf8()));
        }
    }

    void names_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("id"); // a null id stands for no source application
        QTest::addColumn<QString>("name");
        const auto row = [](const char* name, const QString& locale, const QString& id,
                            const QString& expected) {
            QTest::newRow(name) << locale << id << expected;
        };
        const QString files = QStringLiteral("org.gnome.Files");
        row("country match", "uk_UA.UTF-8", files, "Файли (UA)");
        row("language match", "uk_PL.UTF-8", files, "Файли");
        row("modifier match", "sr_RS@latin", files, "Datoteke");
        row("no match", "de_DE.UTF-8", files, "Files");
        row("plain name, trimmed", "uk_UA", "org.example.Editor", "Text  Editor");
        row("escapes", "", "org.example.Escapes", "Tab\there and\\");
        row("other groups ignored, file name", "", "org.example.Actions", "org.example.Actions");
        row("user's entry first", "", "firefox", "My Firefox");
        row("id with suffix", "", "firefox.desktop", "My Firefox");
        row("hidden by the user", "", "org.example.Old", "Old");
        row("subfolder", "", "kde4-okular", "Okular");
        row("no main group", "", "broken", "broken");
        row("no source", "", QString(), "Screenshot");
        row("empty source", "", "", "Screenshot");
        row("unknown, last dotted part", "", "org.example.Sketchpad", "Sketchpad");
        row("unknown, undotted", "", "gimp", "gimp");
        row("unknown, trailing dot", "", "org.example.", "org.example.");
    }

    void names() {
        QFETCH(QString, locale);
        QFETCH(QString, id);
        QFETCH(QString, name);
        AppInfoResolver resolver(platform::DesktopEntryIndex({m_user, m_system}, locale));
        QCOMPARE(resolver.info(optionalId(id)).name, name);
    }

    void icons_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QRgb>("colour"); // 0 for no icon
        QTest::newRow("file") << "sketch" << qRgb(255, 0, 0);
        QTest::newRow("missing file") << "nowhere" << QRgb(0);
        QTest::newRow("theme") << "org.example.Paint" << qRgb(0, 0, 255);
        QTest::newRow("theme, with suffix") << "org.example.Draw" << qRgb(0, 0, 255);
        QTest::newRow("not in the theme") << "org.example.Blank" << QRgb(0);
        QTest::newRow("unknown application") << "org.example.Sketchpad" << QRgb(0);
        QTest::newRow("no source") << QString() << QRgb(0);
    }

    void icons() {
        QFETCH(QString, id);
        QFETCH(QRgb, colour);
        AppInfoResolver resolver(platform::DesktopEntryIndex({m_user, m_system}, QString()));
        const QIcon icon = resolver.info(optionalId(id)).icon;
        QCOMPARE(icon.isNull() ? QRgb(0) : icon.pixmap(16, 16).toImage().pixel(8, 8), colour);
    }

    void unsafeIdsNeverLeaveTheApplicationFolders() {
        // Ids come from other programs' window properties. Dashes stand for folders, so
        // they must not spell a way out either; nor may a link inside the folder.
        QVERIFY(QFile::link(m_root.filePath("secret.desktop"),
                            QDir(m_system).filePath("org.example.Link.desktop")));
        QVERIFY(QFile::link(m_root.path(), QDir(m_system).filePath("outside")));
        QVERIFY(QDir().mkpath(m_root.filePath("x")));
        QVERIFY(writeEntry(m_root.filePath("x"), "secret", "Name=Secret\n"));
        // A hidden file inside the folder is no entry either, whatever the dashes say.
        QVERIFY(writeEntry(m_system, "kde4/.hidden", "Name=Hidden\n"));
        platform::DesktopEntryIndex index({m_system}, QString());
        for (const char* id :
             {"../../../secret", "../../secret", ".hidden", "/etc/passwd", "..-..-..-secret",
              "-..-..-..-secret", "org-..-..-..-secret", "org.example.Link", "outside-secret",
              "outside-x-secret", "kde4-.hidden"}) {
            QVERIFY2(!index.find(QString::fromLatin1(id)), id);
        }
        // An id whose first dash would make the path absolute (a folder without dashes in
        // its path, so every dash of the id may stand for a slash).
        QTemporaryDir plain(QStringLiteral("/tmp/ivraXXXXXX"));
        QVERIFY(writeEntry(plain.path(), "secret", "Name=Secret\n"));
        const QString absoluteId = plain.filePath("secret").replace('/', '-');
        QVERIFY2(!index.find(absoluteId), qPrintable(absoluteId));
        // Links that stay inside the folders are fine.
        QVERIFY(QFile::link(QDir(m_system).filePath("firefox.desktop"),
                            QDir(m_system).filePath("org.example.Alias.desktop")));
        QCOMPARE(index.find(QStringLiteral("org.example.Alias"))->name, QStringLiteral("Firefox"));
    }

    void environmentFoldersAreUsed() {
        // Put back as found whatever happens here, for the tests that run after.
        const QList<QByteArray> names{"XDG_DATA_DIRS", "LC_ALL", "LC_MESSAGES"};
        QList<std::optional<QByteArray>> saved;
        for (const QByteArray& name : names) {
            saved.append(qEnvironmentVariableIsSet(name.constData())
                             ? std::optional(qgetenv(name.constData()))
                             : std::nullopt);
        }
        const auto restore = qScopeGuard([&] {
            for (qsizetype i = 0; i < names.size(); ++i) {
                if (saved[i]) {
                    qputenv(names[i].constData(), *saved[i]);
                } else {
                    qunsetenv(names[i].constData());
                }
            }
        });
        qputenv("XDG_DATA_DIRS", QFile::encodeName(QFileInfo(m_system).absolutePath()));
        qputenv("LC_ALL", "");
        qputenv("LC_MESSAGES", "uk_UA.UTF-8");
        QCOMPARE(AppInfoResolver().info(QStringLiteral("org.gnome.Files")).name, "Файли (UA)");
    }
};

QTEST_MAIN(AppInfoResolverTest)
#include "AppInfoResolverTest.moc"
