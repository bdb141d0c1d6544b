// Writes a movie of moving frames at 30 frames per second until it is killed, printing
// "WRITING" once the movie has started. The crash-safety test kills it mid-recording.

#include <chrono>
#include <cstdio>
#include <thread>

#include <QString>

#include "TestFrames.h"
#include "recording/MovieWriter.h"

int main(int argc, char** argv) {
    using namespace ivra;
    if (argc != 2) {
        return 2;
    }
    QString error;
    auto writer = MovieWriter::create(QString::fromLocal8Bit(argv[1]), &error);
    const QSize size(640, 360);
    VideoTrackInput* video = writer ? writer->addVideoTrack({size, 2'000'000, 60, 60}) : nullptr;
    if (video == nullptr || !writer->startWriting()) {
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    auto nowNs = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    writer->startSession(nowNs());
    std::puts("WRITING");
    std::fflush(stdout);
    for (int i = 0;; ++i) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(33 * i));
        if (video->isReadyForMoreMediaData()) {
            video->append(test::TestFrame(size, QColor(40, 80, 120), nowNs(), i * 8));
        }
    }
}
