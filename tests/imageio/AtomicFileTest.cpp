#include <sys/stat.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "imageio/AtomicFile.h"
#include "imageio/ImageCodec.h"
#include "support/TestSupport.h"

using namespace ivra;

class AtomicFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writesNeverReplaceOrLeaveTemporaryFiles() {
        QTemporaryDir dir;
        const auto write = [&](const QByteArray& bytes) {
            return imageio::writeNewFile(dir.path(), QStringLiteral("Shot"), QStringLiteral("png"),
                                         bytes);
        };
        const auto first = write("one");
        const auto second = write("two");
        QVERIFY(first && second);
        QCOMPARE(QFileInfo(*first).fileName(), QStringLiteral("Shot.png"));
        QCOMPARE(QFileInfo(*second).fileName(), QStringLiteral("Shot (2).png"));
        QCOMPARE(test::readFile(*first), QByteArray("one"));

        const QString thumbnail = dir.filePath(QStringLiteral("thumb.jpg"));
        QVERIFY(imageio::writeFileReplacing(thumbnail, "old"));
        QVERIFY(imageio::writeFileReplacing(thumbnail, "new"));
        QCOMPARE(test::readFile(thumbnail), QByteArray("new"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"Shot (2).png", "Shot.png", "thumb.jpg"}));

        // A folder that is gone: nothing is written anywhere.
        const QString missing = dir.filePath(QStringLiteral("gone"));
        QVERIFY(
            !imageio::writeNewFile(missing, QStringLiteral("Shot"), QStringLiteral("png"), "x"));
        QVERIFY(!imageio::writeFileReplacing(missing + QStringLiteral("/a.png"), "x"));
        QCOMPARE(QDir(dir.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                     .size(),
                 3);
    }

    void newFilesGetTheUsualPermissions() {
        QTemporaryDir dir;
        const mode_t previous = ::umask(022);
        const auto written =
            imageio::writeNewFile(dir.path(), QStringLiteral("Shot"), QStringLiteral("png"), "x");
        const bool replaced = imageio::writeFileReplacing(dir.filePath(QStringLiteral("b")), "x");
        ::umask(previous);
        QVERIFY(written && replaced);
        for (const QString& path : {*written, dir.filePath(QStringLiteral("b"))}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, mode_t(0644));
        }
    }

    // The same two tests again in a child whose file system has neither unnamed files nor
    // hard links (FAT): the named temporary file and the no-replace rename must do.
    void theSameWithoutUnnamedFilesOrLinks() {
        if (qEnvironmentVariableIsSet("IVRA_FAT_LIKE_LOG")) {
            QSKIP("this is the child");
        }
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("refusals"));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(IVRA_FAT_LIKE_LIBRARY));
        env.insert(QStringLiteral("IVRA_FAT_LIKE_LOG"), log);
        // A sanitizer runtime wants to come first; the preloaded library is no threat to it.
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":verify_asan_link_order=0"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("writesNeverReplaceOrLeaveTemporaryFiles"),
                     QStringLiteral("newFilesGetTheUsualPermissions")});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const QByteArray refusals = test::readFile(log);
        QVERIFY2(refusals.contains("O_TMPFILE\n") && refusals.contains("link\n"),
                 refusals.constData());
    }

    void jpegIsOpaqueAndDecodes() {
        QImage image(64, 32, QImage::Format_ARGB32);
        image.fill(QColor(10, 200, 30, 128));
        const auto jpeg = imageio::encodeJpeg(image, 0.9);
        QVERIFY(jpeg && jpeg->startsWith("\xFF\xD8"));
        QVERIFY(imageio::decode(*jpeg).pixelColor(5, 5).green() > 200);
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "AtomicFileTest.moc"
