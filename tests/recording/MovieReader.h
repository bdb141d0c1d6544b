#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QList>
#include <QSize>
#include <QString>

namespace ivra::test {

// What a movie file holds, read back with libavformat/libavcodec.
struct MovieTrack {
    QString kind; // "video" or "audio"
    QString codec;
    QString tag; // the sample description's four characters
    QSize sizePx;
    int sampleRate = 0;
    int channelCount = 0;
    double durationSeconds = 0;
    int packetCount = 0;
    // Presentation times of the packets, in seconds.
    std::vector<double> packetTimes;
};

struct Movie {
    QString formatName;
    double durationSeconds = 0;
    QList<MovieTrack> tracks;

    QList<MovieTrack> tracksOfKind(const QString& kind) const;
};

// Nothing when the file cannot be opened as a movie.
std::optional<Movie> readMovie(const QString& path);

// Decoded frames of the first video track: time (seconds) and mean luma (0–255).
struct FrameLuma {
    double timeSeconds;
    double meanLuma;
};
std::vector<FrameLuma> readVideoLuma(const QString& path);

// The `index`-th audio track decoded to mono floats, and the time of its first sample.
struct DecodedAudio {
    int sampleRate = 0;
    double startSeconds = 0;
    std::vector<float> samples;
};
std::optional<DecodedAudio> readAudio(const QString& path, int index);

// The strength of `frequencyHz` in the samples (Goertzel), relative to their energy: close
// to 1 for a pure tone at that frequency, close to 0 without it.
double toneShare(const std::vector<float>& samples, int sampleRate, double frequencyHz);

} // namespace ivra::test
