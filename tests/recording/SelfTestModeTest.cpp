// `ivra --selftest-record`, the real binary on the harness's desktop.

#include <csignal>

#include <sys/resource.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include "MovieReader.h"
#include "support/TestSupport.h"

namespace {

const QString kMovie = QStringLiteral("/tmp/selftest-rec.mov");

} // namespace

class SelfTestModeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QFile::remove(kMovie); }
    void recordsThreeSecondsAndSaysWhere();
    void aKilledSelfTestLeavesAPlayableMovie();
    void aMovieThatCannotBeWrittenIsAFailure();
};

void SelfTestModeTest::recordsThreeSecondsAndSaysWhere() {
    // Something left from an earlier run is replaced.
    QVERIFY(ivra::test::writeFile(kMovie, "not a movie"));
    QProcess ivra;
    ivra.start(IVRA_BINARY, {"--selftest-record"});
    QVERIFY(ivra.waitForFinished(30000));
    QCOMPARE(ivra.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ivra.exitCode(), 0);
    QCOMPARE(ivra.readAllStandardOutput(), QByteArray("SELFTEST_DONE /tmp/selftest-rec.mov\n"));

    const auto movie = ivra::test::readMovie(kMovie);
    QVERIFY(movie);
    const auto video = movie->tracksOfKind("video");
    QCOMPARE(video.size(), 1);
    QCOMPARE(video[0].codec, QString("hevc"));
    QCOMPARE(video[0].tag, QString("hvc1"));
    // The first display: the harness's primary monitor, 1920 × 1080 at scale 1.
    QCOMPARE(video[0].sizePx, QSize(1920, 1080));
    QVERIFY2(std::abs(video[0].durationSeconds - 3.0) < 0.3,
             qPrintable(QString::number(video[0].durationSeconds)));
    QCOMPARE(movie->tracksOfKind("audio").size(), 1);
}

void SelfTestModeTest::aKilledSelfTestLeavesAPlayableMovie() {
    QProcess ivra;
    ivra.start(IVRA_BINARY, {"--selftest-record"});
    QVERIFY(ivra.waitForStarted());
    // The pointer moves all the time, so frames keep coming.
    QTimer mover;
    int step = 0;
    connect(&mover, &QTimer::timeout, this, [&step] {
        ++step;
        QCursor::setPos(200 + (step * 37) % 1500, 200 + (step * 23) % 700);
    });
    mover.start(20);
    // Two seconds of recording (the application's start-up is not what this is about):
    // from the moment the movie's header is there.
    QVERIFY(QTest::qWaitFor([] { return QFileInfo(kMovie).size() > 0; }, 10000));
    QTest::qWait(2000);
    ivra.kill();
    QVERIFY(ivra.waitForFinished(5000));
    mover.stop();

    const auto movie = ivra::test::readMovie(kMovie);
    QVERIFY(movie);
    const auto video = movie->tracksOfKind("video");
    QCOMPARE(video.size(), 1);
    QCOMPARE(video[0].tag, QString("hvc1"));
    // Fragments are cut every quarter second.
    const double lastFrame = video[0].packetTimes.empty() ? 0 : video[0].packetTimes.back();
    QVERIFY2(lastFrame >= 1.5, qPrintable(QString::number(lastFrame)));
}

void SelfTestModeTest::aMovieThatCannotBeWrittenIsAFailure() {
    // Files of the self-test may not grow beyond 32 KiB, as on a full disk.
    QProcess ivra;
    ivra.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{32 * 1024, 32 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QTimer mover;
    int step = 0;
    connect(&mover, &QTimer::timeout, this, [&step] {
        ++step;
        QCursor::setPos(200 + (step * 37) % 1500, 200 + (step * 23) % 700);
    });
    mover.start(20);
    ivra.start(IVRA_BINARY, {"--selftest-record"});
    QVERIFY(QTest::qWaitFor([&] { return ivra.state() == QProcess::NotRunning; }, 30000));
    mover.stop();
    QCOMPARE(ivra.exitCode(), 1);
    QCOMPARE(ivra.readAllStandardOutput(),
             QByteArray("SELFTEST_FAIL the movie could not be finished\n"));
}

QTEST_MAIN(SelfTestModeTest)
#include "SelfTestModeTest.moc"
