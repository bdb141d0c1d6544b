#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <QSize>
#include <QString>

struct AVBufferPool;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;

namespace ivra {

class ScreenFrame;
class AudioTrackInput;
class VideoTrackInput;

struct VideoTrackSettings {
    QSize sizePx;
    int64_t averageBitRate = 0;
    int expectedFrameRate = 60;
    int maxKeyFrameInterval = 60;
};

struct AudioTrackSettings {
    int sampleRate = 48000;
    int channelCount = 1;
    int bitRate = 192000;
};

// A QuickTime movie written while it is recorded: HEVC video (tagged 'hvc1') and AAC audio
// tracks, through FFmpeg.
//
// Crash safety: while recording, the file is a fragmented movie (an empty header, then a
// self-contained fragment about every quarter second, flushed to the kernel as it is made and
// to the disk every two seconds), so a crash, `kill -9` or a power cut leaves a movie that
// plays up to its last fragment. A normal finish rewrites it as a regular movie with one
// index (players seek in it at once): the samples are copied into a new file beside it,
// which then replaces it. If that copy fails, the fragmented movie stays, complete.
//
// Threads: tracks are added and writing starts on one thread; each input is then used from
// one thread at a time (the recording's queue); packets of all tracks meet in the muxer
// under a lock.
class MovieWriter {
public:
    enum class Status { Unknown, Writing, Completed, Failed };

    // Creates (or truncates) the file. Nothing, and the reason, when it cannot be written.
    static std::unique_ptr<MovieWriter> create(const QString& path, QString* error);
    ~MovieWriter();

    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    const QString& path() const { return m_path; }

    // Before startWriting. Nothing when no encoder accepts the settings.
    VideoTrackInput* addVideoTrack(const VideoTrackSettings& settings);
    AudioTrackInput* addAudioTrack(const AudioTrackSettings& settings);

    // Writes the movie's header; status becomes Writing, or Failed.
    bool startWriting();
    // The host time (CLOCK_MONOTONIC, ns) that becomes the movie's time zero. Samples stamped
    // earlier are left out.
    void startSession(int64_t hostTimeNs);
    bool sessionStarted() const { return m_sessionStartNs.has_value(); }
    int64_t sessionStartNs() const { return m_sessionStartNs.value_or(0); }

    // The host time at which the movie ends: the last video frame lasts until then.
    void endSession(int64_t hostTimeNs) { m_sessionEndNs = hostTimeNs; }

    // Ends every input that is not finished yet, writes the rest and the index. Completed
    // or Failed afterwards.
    bool finishWriting();

    Status status() const;
    QString errorDescription() const;

    // The name of the video encoder in use ("libx265", "hevc_nvenc", …).
    QString videoEncoderName() const;

private:
    friend class VideoTrackInput;
    friend class AudioTrackInput;

    explicit MovieWriter(QString path);

    // From any input's thread: hands an encoded packet to the muxer. A failed write fails
    // the whole movie.
    void writePacket(AVPacket* packet, AVStream* stream, int64_t encoderTimeBaseNum,
                     int64_t encoderTimeBaseDen);
    void fail(const QString& description);
    bool rewriteAsRegularMovie();

    QString m_path;
    int m_fd = -1;
    AVFormatContext* m_format = nullptr;
    AVIOContext* m_io = nullptr;
    std::unique_ptr<VideoTrackInput> m_video;
    std::vector<std::unique_ptr<AudioTrackInput>> m_audio;
    std::optional<int64_t> m_sessionStartNs;
    std::optional<int64_t> m_sessionEndNs;
    mutable std::mutex m_muxerMutex;
    Status m_status = Status::Unknown;
    QString m_error;
    int64_t m_lastSyncNs = 0;
};

// The video track's input. Frames are converted to YUV 4:2:0 (libyuv, and scaled to the
// track's size when they differ) on the caller's thread and encoded on a thread of the
// input's own. One frame waits at most while another is encoded: a frame that arrives while
// one waits is refused (isReadyForMoreMediaData is no), so a slow encoder means fewer
// frames, never a growing queue.
class VideoTrackInput {
public:
    ~VideoTrackInput();
    VideoTrackInput(const VideoTrackInput&) = delete;
    VideoTrackInput& operator=(const VideoTrackInput&) = delete;

    bool isReadyForMoreMediaData() const;
    // Whether the frame was taken: complete, in the session, and the input ready.
    bool append(const ScreenFrame& frame);
    // Encodes what waits, then the encoder's last frames; later appends are refused.
    void markAsFinished();

    QString encoderName() const;
    int encodedFrameCount() const;

private:
    friend class MovieWriter;
    VideoTrackInput(MovieWriter& writer, AVCodecContext* codec, AVStream* stream);
    void encodeLoop();
    void drainPackets();
    // A packet is written once the next one is there, so it can last until that one: frames
    // come only when the screen changed, at any interval.
    void writeHeldPacket(int64_t nextPts);
    bool convert(const ScreenFrame& frame, AVFrame* target);
    // The frame in YUV 4:2:0 at the track's size, from a source of another size.
    void scaleToI420(const ScreenFrame& frame, uint8_t* y, int yStride, uint8_t* u, uint8_t* v,
                     int chromaStride);
    bool send(AVFrame* frame);

    MovieWriter& m_writer;
    AVCodecContext* m_codec;
    AVStream* m_stream;
    AVBufferPool* m_pool = nullptr;
    AVFrame* m_staging = nullptr;
    AVPacket* m_packet = nullptr;
    AVPacket* m_heldPacket = nullptr;
    bool m_holdsPacket = false;
    // A frame of the source's size when it differs from the track's, before scaling; and
    // scaled, before it becomes NV12 for a hardware encoder.
    std::vector<uint8_t> m_unscaled;
    std::vector<uint8_t> m_scaled;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    AVFrame* m_waiting = nullptr;
    bool m_hasWaiting = false;
    bool m_finishing = false;
    bool m_finished = false;
    int m_encodedFrames = 0;
    std::thread m_thread;
};

// An AAC track's input: mono float samples at the track's rate, stamped on the host clock.
// Samples are gathered into the encoder's frames. The track starts with the movie (silence
// until the first buffer's time) and stays continuous: gaps between buffers longer than
// 20 ms are filled with silence and overlaps are cut, so every sample stays within 20 ms
// of its host time.
class AudioTrackInput {
public:
    ~AudioTrackInput();
    AudioTrackInput(const AudioTrackInput&) = delete;
    AudioTrackInput& operator=(const AudioTrackInput&) = delete;

    bool isReadyForMoreMediaData() const;
    // `hostTimeNs` is the time of the first sample. Samples before the session are cut.
    bool append(const float* samples, int count, int64_t hostTimeNs);
    void markAsFinished();

private:
    friend class MovieWriter;
    AudioTrackInput(MovieWriter& writer, AVCodecContext* codec, AVStream* stream);
    void encodeFrames(bool flush);

    MovieWriter& m_writer;
    AVCodecContext* m_codec;
    AVStream* m_stream;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    std::vector<float> m_pending;
    // The track time (in samples) of m_pending's first sample.
    int64_t m_encodedUntil = 0;
    bool m_started = false;
    bool m_finished = false;
};

} // namespace ivra
