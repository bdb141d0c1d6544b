// The movie writer against real files: what it writes is read back with libavformat.

#include <cmath>
#include <csignal>

#include <sys/resource.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "MovieReader.h"
#include "TestFrames.h"
#include "recording/MovieWriter.h"
#include "support/TestSupport.h"

using namespace ivra;
using ivra::test::TestFrame;

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kStartNs = 1'000'000 * kMs; // an arbitrary host time

std::vector<float> tone(double frequencyHz, int count, int offset = 0) {
    std::vector<float> samples(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        samples[size_t(i)] = float(0.5 * std::sin(2 * M_PI * frequencyHz * (i + offset) / 48000));
    }
    return samples;
}

// Appends `seconds` of a tone in 10 ms buffers from `startNs` on.
void appendTone(AudioTrackInput& input, double frequencyHz, double seconds, int64_t startNs) {
    constexpr int kBuffer = 480;
    for (int i = 0; i < int(seconds * 100); ++i) {
        const auto buffer = tone(frequencyHz, kBuffer, i * kBuffer);
        input.append(buffer.data(), kBuffer, startNs + i * 10 * kMs);
    }
}

// Appends a frame and waits until the encoder has taken it.
void appendAndWait(VideoTrackInput& video, const ScreenFrame& frame) {
    QVERIFY(QTest::qWaitFor([&] { return video.isReadyForMoreMediaData(); }, 5000));
    QVERIFY(video.append(frame));
}

} // namespace

class MovieWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesHevcAndAacTracksThatReadBack();
    void timesFollowTheHostClock();
    void scalesFramesToTheTrackSize();
    void refusesFramesWhileTheEncoderIsBusy();
    void leavesAPlayableMovieWhenKilled();
    void reportsAMovieThatCannotBeFinished();
    void refusesUnwritablePathsAndOddSizes();

private:
    QTemporaryDir m_dir;
};

void MovieWriterTest::writesHevcAndAacTracksThatReadBack() {
    const QString path = m_dir.filePath("tracks.mov");
    QString error;
    auto writer = MovieWriter::create(path, &error);
    QVERIFY2(writer, qPrintable(error));
    VideoTrackInput* video = writer->addVideoTrack({QSize(320, 240), 1'000'000, 60, 60});
    AudioTrackInput* first = writer->addAudioTrack({});
    AudioTrackInput* second = writer->addAudioTrack({});
    QVERIFY(video && first && second);
    QVERIFY(writer->startWriting());
    writer->startSession(kStartNs);
    for (int i = 0; i < 30; ++i) {
        appendAndWait(*video,
                      TestFrame({320, 240}, QColor(20, 40, 60), kStartNs + i * 33 * kMs, i * 10));
    }
    appendTone(*first, 440, 1.0, kStartNs);
    appendTone(*second, 1000, 1.0, kStartNs);
    writer->endSession(kStartNs + 1000 * kMs);
    QVERIFY(writer->finishWriting());
    QCOMPARE(writer->status(), MovieWriter::Status::Completed);

    const auto movie = test::readMovie(path);
    QVERIFY(movie);
    QVERIFY(movie->formatName.contains("mov"));
    const auto videoTracks = movie->tracksOfKind("video");
    QCOMPARE(videoTracks.size(), 1);
    QCOMPARE(videoTracks[0].codec, QString("hevc"));
    QCOMPARE(videoTracks[0].tag, QString("hvc1"));
    QCOMPARE(videoTracks[0].sizePx, QSize(320, 240));
    QCOMPARE(videoTracks[0].packetCount, 30);
    // The last frame lasts until the session's end.
    QVERIFY2(std::abs(videoTracks[0].durationSeconds - 1.0) < 0.02,
             qPrintable(QString::number(videoTracks[0].durationSeconds)));
    const auto audioTracks = movie->tracksOfKind("audio");
    QCOMPARE(audioTracks.size(), 2);
    for (const auto& track : audioTracks) {
        QCOMPARE(track.codec, QString("aac"));
        QCOMPARE(track.sampleRate, 48000);
        QCOMPARE(track.channelCount, 1);
    }
    // Each track carries its own tone.
    const auto mic = test::readAudio(path, 0);
    const auto system = test::readAudio(path, 1);
    QVERIFY(mic && system);
    QVERIFY2(mic->samples.size() > 40000, qPrintable(QString::number(mic->samples.size())));
    QVERIFY(test::toneShare(mic->samples, 48000, 440) > 0.8);
    QVERIFY(test::toneShare(mic->samples, 48000, 1000) < 0.05);
    QVERIFY(test::toneShare(system->samples, 48000, 1000) > 0.8);
    // The movie is a regular one now: no fragments left.
    const QByteArray bytes = test::readFile(path);
    QVERIFY(!bytes.contains("moof"));
}

void MovieWriterTest::timesFollowTheHostClock() {
    // Frames at uneven host times keep them; audio that starts late starts late in the
    // movie; samples before the session are cut; a gap in the sound is kept as silence.
    const QString path = m_dir.filePath("times.mov");
    QString error;
    auto writer = MovieWriter::create(path, &error);
    VideoTrackInput* video = writer->addVideoTrack({QSize(160, 120), 500'000, 60, 60});
    AudioTrackInput* audio = writer->addAudioTrack({});
    QVERIFY(writer->startWriting());
    writer->startSession(kStartNs);
    const int64_t frameTimesMs[] = {0, 17, 250, 260, 700};
    for (size_t i = 0; i < std::size(frameTimesMs); ++i) {
        appendAndWait(*video, TestFrame({160, 120}, QColor(int(i) * 40, 0, 0),
                                        kStartNs + frameTimesMs[i] * kMs));
    }
    // A frame from before the session is refused.
    QVERIFY(!video->append(TestFrame({160, 120}, Qt::red, kStartNs - 5 * kMs)));
    // 200 ms of tone from -100 ms (the first half cut), silence, then from 500 ms on.
    appendTone(*audio, 440, 0.2, kStartNs - 100 * kMs);
    appendTone(*audio, 440, 0.2, kStartNs + 500 * kMs);
    writer->endSession(kStartNs + 800 * kMs);
    QVERIFY(writer->finishWriting());

    const auto movie = test::readMovie(path);
    QVERIFY(movie);
    const auto times = movie->tracksOfKind("video")[0].packetTimes;
    QCOMPARE(times.size(), std::size(frameTimesMs));
    for (size_t i = 0; i < times.size(); ++i) {
        QVERIFY2(std::abs(times[i] - frameTimesMs[i] / 1000.0) < 0.001,
                 qPrintable(QString("frame %1 at %2").arg(i).arg(times[i])));
    }
    const auto sound = test::readAudio(path, 0);
    QVERIFY(sound);
    auto loudness = [&](double fromSeconds, double toSeconds) {
        double energy = 0;
        const auto from = size_t(std::max(0.0, (fromSeconds - sound->startSeconds) * 48000));
        const auto to = size_t((toSeconds - sound->startSeconds) * 48000);
        for (size_t i = from; i < to && i < sound->samples.size(); ++i) {
            energy += double(sound->samples[i]) * sound->samples[i];
        }
        return std::sqrt(energy / double(to - from));
    };
    QVERIFY(std::abs(sound->startSeconds) < 0.03);
    QVERIFY(loudness(0.01, 0.09) > 0.2); // the kept half of the first tone
    // The gap (AAC smears a tone's ends over a frame or two).
    QVERIFY(loudness(0.2, 0.42) < 0.01);
    QVERIFY(loudness(0.52, 0.68) > 0.2); // the second tone, where it was stamped
}

void MovieWriterTest::scalesFramesToTheTrackSize() {
    const QString path = m_dir.filePath("scaled.mov");
    QString error;
    auto writer = MovieWriter::create(path, &error);
    VideoTrackInput* video = writer->addVideoTrack({QSize(320, 180), 500'000, 60, 60});
    QVERIFY(writer->startWriting());
    writer->startSession(kStartNs);
    appendAndWait(*video, TestFrame({641, 361}, Qt::white, kStartNs));
    appendAndWait(*video, TestFrame({641, 361}, Qt::black, kStartNs + 100 * kMs));
    QVERIFY(writer->finishWriting());
    const auto frames = test::readVideoLuma(path);
    QCOMPARE(frames.size(), size_t(2));
    QCOMPARE(test::readMovie(path)->tracksOfKind("video")[0].sizePx, QSize(320, 180));
    // Limited-range luma: white is 235, black 16.
    QVERIFY2(frames[0].meanLuma > 225, qPrintable(QString::number(frames[0].meanLuma)));
    QVERIFY2(frames[1].meanLuma < 26, qPrintable(QString::number(frames[1].meanLuma)));
}

void MovieWriterTest::refusesFramesWhileTheEncoderIsBusy() {
    // Frames offered faster than the encoder takes them are refused, not queued: the movie
    // holds exactly the frames that were taken.
    const QString path = m_dir.filePath("busy.mov");
    QString error;
    auto writer = MovieWriter::create(path, &error);
    VideoTrackInput* video = writer->addVideoTrack({QSize(1280, 720), 4'000'000, 60, 60});
    QVERIFY(writer->startWriting());
    writer->startSession(kStartNs);
    int taken = 0;
    constexpr int kOffered = 120;
    for (int i = 0; i < kOffered; ++i) {
        if (video->append(TestFrame({1280, 720}, QColor(i, 0, 0), kStartNs + i * kMs, i * 9))) {
            ++taken;
        }
    }
    QVERIFY(writer->finishWriting());
    QVERIFY2(taken > 0 && taken < kOffered, qPrintable(QString::number(taken)));
    QCOMPARE(test::readMovie(path)->tracksOfKind("video")[0].packetCount, taken);
    QCOMPARE(video->encodedFrameCount(), taken);
}

void MovieWriterTest::leavesAPlayableMovieWhenKilled() {
    const QString path = m_dir.filePath("killed.mov");
    QProcess child;
    child.start(IVRA_WRITER_CHILD, {path});
    QVERIFY(child.waitForReadyRead(10000));
    QCOMPARE(child.readLine().trimmed(), QByteArray("WRITING"));
    QTest::qWait(2500);
    child.kill();
    QVERIFY(child.waitForFinished(5000));

    const auto movie = test::readMovie(path);
    QVERIFY(movie);
    const auto video = movie->tracksOfKind("video");
    QCOMPARE(video.size(), 1);
    QCOMPARE(video[0].tag, QString("hvc1"));
    // Fragments are cut every quarter second: at most that much (and the frames in the encoder)
    // is lost.
    const double lastFrame = video[0].packetTimes.empty() ? 0 : video[0].packetTimes.back();
    QVERIFY2(lastFrame >= 2.0, qPrintable(QString::number(lastFrame)));
    QVERIFY(test::readVideoLuma(path).size() >= 40);
}

void MovieWriterTest::reportsAMovieThatCannotBeFinished() {
    // A file that may not grow beyond 64 KiB: writes fail as on a full disk.
    const QString path = m_dir.filePath("full.mov");
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    QString error;
    auto writer = MovieWriter::create(path, &error);
    VideoTrackInput* video = writer->addVideoTrack({QSize(640, 360), 8'000'000, 60, 60});
    QVERIFY(writer->startWriting());
    writer->startSession(kStartNs);
    for (int i = 0; i < 60 && writer->status() == MovieWriter::Status::Writing; ++i) {
        if (!QTest::qWaitFor([&] { return video->isReadyForMoreMediaData(); }, 2000)) {
            break;
        }
        video->append(TestFrame::noise({640, 360}, uint32_t(i), kStartNs + i * 20 * kMs));
    }
    const bool finished = writer->finishWriting();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!finished);
    QCOMPARE(writer->status(), MovieWriter::Status::Failed);
    QVERIFY2(writer->errorDescription().contains("large"), qPrintable(writer->errorDescription()));
}

void MovieWriterTest::refusesUnwritablePathsAndOddSizes() {
    QString error;
    QVERIFY(!MovieWriter::create(m_dir.filePath("missing/folder/movie.mov"), &error));
    QVERIFY(error.contains("missing/folder"));
    auto writer = MovieWriter::create(m_dir.filePath("odd.mov"), &error);
    QVERIFY(writer);
    QVERIFY(!writer->addVideoTrack({QSize(321, 240), 1'000'000, 60, 60}));
    QVERIFY(writer->addVideoTrack({QSize(320, 240), 1'000'000, 60, 60}));
    // Once writing, no more tracks.
    QVERIFY(writer->startWriting());
    QVERIFY(!writer->addAudioTrack({}));
}

QTEST_GUILESS_MAIN(MovieWriterTest)
#include "MovieWriterTest.moc"
