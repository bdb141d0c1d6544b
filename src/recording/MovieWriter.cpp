#include "recording/MovieWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <libyuv/convert.h>
#include <libyuv/convert_from.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale.h>

#include <QByteArray>
#include <QFileInfo>

#include "capture/ScreenStream.h"

namespace ivra {

namespace {

// Host-clock nanoseconds per second.
constexpr int64_t kNs = 1'000'000'000;
// The video track's clock: fine enough for frames at any rate and for A/V alignment.
constexpr int kVideoTimeScale = 90000;
// A fragment is cut at every key frame and at least this often: what a crash can lose.
constexpr const char* kFragmentDurationUs = "250000";
// How often what the kernel holds of the movie is forced onto the disk.
constexpr int64_t kDiskSyncIntervalNs = 2 * kNs;
// Audio buffers that start this far from where the previous one ended are a real gap (or
// overlap), not the jitter of buffer time stamps.
constexpr int64_t kAudioGapToleranceNs = 20'000'000;
constexpr int kPlaneAlignment = 64;
// How long a last frame lasts when the movie's end is not known.
constexpr int kDefaultFrameRate = 60;

QString ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

int aligned(int value) {
    return (value + kPlaneAlignment - 1) / kPlaneAlignment * kPlaneAlignment;
}

struct OutputFile {
    int fd = -1;
    int64_t* lastSyncNs = nullptr;
};

int writeToFile(void* opaque, uint8_t* data, int size) {
    auto* file = static_cast<OutputFile*>(opaque);
    int written = 0;
    while (written < size) {
        const ssize_t result = ::write(file->fd, data + written, size_t(size - written));
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return AVERROR(errno);
        }
        written += int(result);
    }
    if (file->lastSyncNs != nullptr) {
        const int64_t now = hostTimeNs();
        if (now - *file->lastSyncNs >= kDiskSyncIntervalNs) {
            *file->lastSyncNs = now;
            ::fdatasync(file->fd);
        }
    }
    return size;
}

int64_t seekInFile(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<OutputFile*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat status {};
        return ::fstat(file->fd, &status) == 0 ? int64_t(status.st_size) : AVERROR(errno);
    }
    const off_t result = ::lseek(file->fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return result < 0 ? AVERROR(errno) : int64_t(result);
}

void syncDirectoryOf(const QString& path) {
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Frames in the GPU's memory for a VAAPI encoder of `sizePx`, uploaded from NV12; nothing
// when the machine has no VAAPI device.
AVBufferRef* vaapiFrames(QSize sizePx) {
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0) {
        return nullptr;
    }
    AVBufferRef* frames = av_hwframe_ctx_alloc(device);
    av_buffer_unref(&device);
    if (frames == nullptr) {
        return nullptr;
    }
    auto* context = reinterpret_cast<AVHWFramesContext*>(frames->data);
    context->format = AV_PIX_FMT_VAAPI;
    context->sw_format = AV_PIX_FMT_NV12;
    context->width = sizePx.width();
    context->height = sizePx.height();
    context->initial_pool_size = 4;
    if (av_hwframe_ctx_init(frames) < 0) {
        av_buffer_unref(&frames);
    }
    return frames;
}

// Opens the first HEVC encoder that works on this machine: NVENC, VAAPI, then libx265
// (software). IVRA_VIDEO_ENCODER names the only one to try.
AVCodecContext* openHevcEncoder(const VideoTrackSettings& settings, bool globalHeader) {
    QList<QByteArray> names{"hevc_nvenc", "hevc_vaapi", "libx265"};
    if (const QByteArray forced = qgetenv("IVRA_VIDEO_ENCODER"); !forced.isEmpty()) {
        names = {forced};
    }
    for (const QByteArray& name : names) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name.constData());
        if (codec == nullptr) {
            continue;
        }
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->width = settings.sizePx.width();
        context->height = settings.sizePx.height();
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->time_base = AVRational{1, kVideoTimeScale};
        context->framerate = AVRational{settings.expectedFrameRate, 1};
        context->bit_rate = settings.averageBitRate;
        context->gop_size = settings.maxKeyFrameInterval;
        context->max_b_frames = 0;
        // What libyuv's conversion produces: BT.601 limited range, from sRGB pixels.
        context->color_range = AVCOL_RANGE_MPEG;
        context->colorspace = AVCOL_SPC_SMPTE170M;
        context->color_primaries = AVCOL_PRI_BT709;
        context->color_trc = AVCOL_TRC_IEC61966_2_1;
        if (globalHeader) {
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (name == "libx265") {
            av_opt_set(context->priv_data, "preset", "ultrafast", 0);
            av_opt_set(context->priv_data, "tune", "zerolatency", 0);
            av_opt_set(context->priv_data, "x265-params", "log-level=error", 0);
        } else if (name == "hevc_nvenc") {
            av_opt_set(context->priv_data, "preset", "p1", 0);
            av_opt_set(context->priv_data, "tune", "ull", 0);
        }
        // A machine without the hardware is the common case, not worth a message.
        const int level = av_log_get_level();
        if (name != names.back()) {
            av_log_set_level(AV_LOG_QUIET);
        }
        if (name == "hevc_vaapi") {
            context->pix_fmt = AV_PIX_FMT_VAAPI;
            context->hw_frames_ctx = vaapiFrames(settings.sizePx);
            if (context->hw_frames_ctx == nullptr) {
                av_log_set_level(level);
                avcodec_free_context(&context);
                continue;
            }
        }
        const int result = avcodec_open2(context, codec, nullptr);
        av_log_set_level(level);
        if (result >= 0) {
            return context;
        }
        avcodec_free_context(&context);
    }
    return nullptr;
}

} // namespace

// MovieWriter ---------------------------------------------------------------------------------

MovieWriter::MovieWriter(QString path)
    : m_path(std::move(path)) {
}

std::unique_ptr<MovieWriter> MovieWriter::create(const QString& path, QString* error) {
    av_log_set_level(AV_LOG_ERROR);
    std::unique_ptr<MovieWriter> writer(new MovieWriter(path));
    writer->m_fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (writer->m_fd < 0) {
        *error =
            QStringLiteral("Cannot write \"%1\": %2").arg(path, QString::fromUtf8(strerror(errno)));
        return nullptr;
    }
    if (avformat_alloc_output_context2(&writer->m_format, nullptr, "mov", nullptr) < 0) {
        *error = QStringLiteral("No QuickTime muxer is available.");
        return nullptr;
    }
    return writer;
}

MovieWriter::~MovieWriter() {
    m_video.reset();
    m_audio.clear();
    if (m_io != nullptr) {
        delete static_cast<OutputFile*>(m_io->opaque);
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    avformat_free_context(m_format);
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

VideoTrackInput* MovieWriter::addVideoTrack(const VideoTrackSettings& settings) {
    if (m_video || m_status != Status::Unknown || settings.sizePx.isEmpty() ||
        settings.sizePx.width() % 2 != 0 || settings.sizePx.height() % 2 != 0) {
        return nullptr;
    }
    AVCodecContext* codec =
        openHevcEncoder(settings, (m_format->oformat->flags & AVFMT_GLOBALHEADER) != 0);
    if (codec == nullptr) {
        return nullptr;
    }
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    avcodec_parameters_from_context(stream->codecpar, codec);
    // Players that need the parameter sets in the sample description look for 'hvc1'.
    stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    stream->time_base = codec->time_base;
    m_video.reset(new VideoTrackInput(*this, codec, stream));
    return m_video.get();
}

AudioTrackInput* MovieWriter::addAudioTrack(const AudioTrackSettings& settings) {
    if (m_status != Status::Unknown) {
        return nullptr;
    }
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (aac == nullptr) {
        return nullptr;
    }
    AVCodecContext* codec = avcodec_alloc_context3(aac);
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = settings.sampleRate;
    av_channel_layout_default(&codec->ch_layout, settings.channelCount);
    codec->bit_rate = settings.bitRate;
    codec->time_base = AVRational{1, settings.sampleRate};
    if ((m_format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(codec, aac, nullptr) < 0) {
        avcodec_free_context(&codec);
        return nullptr;
    }
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    avcodec_parameters_from_context(stream->codecpar, codec);
    stream->time_base = codec->time_base;
    m_audio.emplace_back(new AudioTrackInput(*this, codec, stream));
    return m_audio.back().get();
}

bool MovieWriter::startWriting() {
    if (m_status != Status::Unknown) {
        return false;
    }
    constexpr int kBufferBytes = 64 * 1024;
    auto* file = new OutputFile{m_fd, &m_lastSyncNs};
    m_lastSyncNs = hostTimeNs();
    m_io = avio_alloc_context(static_cast<unsigned char*>(av_malloc(kBufferBytes)), kBufferBytes, 1,
                              file, nullptr, writeToFile, seekInFile);
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Every packet that completes a fragment reaches the file at once.
    m_format->flush_packets = 1;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", kFragmentDurationUs, 0);
    const int result = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    const std::lock_guard lock(m_muxerMutex);
    if (result < 0) {
        m_status = Status::Failed;
        m_error = QStringLiteral("Cannot start the movie: %1").arg(ffmpegError(result));
        return false;
    }
    m_status = Status::Writing;
    return true;
}

void MovieWriter::startSession(int64_t hostTimeNs) {
    if (!m_sessionStartNs) {
        m_sessionStartNs = hostTimeNs;
    }
}

MovieWriter::Status MovieWriter::status() const {
    const std::lock_guard lock(m_muxerMutex);
    return m_status;
}

QString MovieWriter::errorDescription() const {
    const std::lock_guard lock(m_muxerMutex);
    return m_error;
}

QString MovieWriter::videoEncoderName() const {
    return m_video ? m_video->encoderName() : QString();
}

void MovieWriter::fail(const QString& description) {
    if (m_status != Status::Failed) {
        m_status = Status::Failed;
        m_error = description;
    }
}

void MovieWriter::writePacket(AVPacket* packet, AVStream* stream, int64_t encoderTimeBaseNum,
                              int64_t encoderTimeBaseDen) {
    const std::lock_guard lock(m_muxerMutex);
    if (m_status != Status::Writing) {
        av_packet_unref(packet);
        return;
    }
    av_packet_rescale_ts(packet, AVRational{int(encoderTimeBaseNum), int(encoderTimeBaseDen)},
                         stream->time_base);
    packet->stream_index = stream->index;
    // Each track's samples wait in the muxer until their fragment is cut, so the tracks
    // need no interleaving here.
    const int result = av_write_frame(m_format, packet);
    av_packet_unref(packet);
    if (result < 0) {
        fail(QStringLiteral("Cannot write the movie: %1").arg(ffmpegError(result)));
    }
}

bool MovieWriter::finishWriting() {
    if (m_video) {
        m_video->markAsFinished();
    }
    for (const auto& audio : m_audio) {
        audio->markAsFinished();
    }
    {
        const std::lock_guard lock(m_muxerMutex);
        if (m_status != Status::Writing) {
            if (m_status == Status::Unknown) {
                fail(QStringLiteral("The movie was never started."));
            }
            return false;
        }
        const int result = av_write_trailer(m_format);
        avio_flush(m_io);
        if (result < 0 || m_io->error < 0) {
            fail(QStringLiteral("Cannot finish the movie: %1")
                     .arg(ffmpegError(result < 0 ? result : m_io->error)));
            return false;
        }
        if (::fdatasync(m_fd) != 0 && errno != EINVAL) {
            fail(QStringLiteral("Cannot finish the movie: %1")
                     .arg(QString::fromUtf8(strerror(errno))));
            return false;
        }
    }
    ::close(m_fd);
    m_fd = -1;
    // The fragmented movie is complete; a failed rewrite leaves it as it is.
    rewriteAsRegularMovie();
    const std::lock_guard lock(m_muxerMutex);
    m_status = Status::Completed;
    return true;
}

bool MovieWriter::rewriteAsRegularMovie() {
    const QByteArray source = QFile::encodeName(m_path);
    const QFileInfo info(m_path);
    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    AVFormatContext* input = nullptr;
    AVFormatContext* output = nullptr;
    AVPacket* packet = av_packet_alloc();
    OutputFile file{fd, nullptr};
    AVIOContext* io = nullptr;
    bool ok = avformat_open_input(&input, source.constData(), nullptr, nullptr) >= 0 &&
              avformat_alloc_output_context2(&output, nullptr, "mov", nullptr) >= 0;
    for (unsigned i = 0; ok && i < input->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        ok = avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) >= 0;
        stream->time_base = input->streams[i]->time_base;
    }
    if (ok) {
        constexpr int kBufferBytes = 256 * 1024;
        io = avio_alloc_context(static_cast<unsigned char*>(av_malloc(kBufferBytes)), kBufferBytes,
                                1, &file, nullptr, writeToFile, seekInFile);
        output->pb = io;
        output->flags |= AVFMT_FLAG_CUSTOM_IO;
        ok = avformat_write_header(output, nullptr) >= 0;
    }
    // Each stream's packets are written one behind, so the video's last frame can be given
    // its length: until the movie's end.
    std::vector<AVPacket*> held(input->nb_streams, nullptr);
    auto writeHeld = [&](unsigned index) {
        if (held[index] != nullptr) {
            ok = ok && av_interleaved_write_frame(output, held[index]) >= 0;
            av_packet_free(&held[index]);
        }
    };
    while (ok && av_read_frame(input, packet) >= 0) {
        const auto index = unsigned(packet->stream_index);
        av_packet_rescale_ts(packet, input->streams[index]->time_base,
                             output->streams[index]->time_base);
        packet->pos = -1;
        writeHeld(index);
        held[index] = av_packet_clone(packet);
        av_packet_unref(packet);
    }
    for (unsigned index = 0; index < held.size(); ++index) {
        AVStream* stream = output->streams[index];
        if (held[index] != nullptr && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            // A last sample without a length would not count as a frame at all.
            const int64_t lastNs =
                av_rescale_q(held[index]->pts, stream->time_base, AVRational{1, int(kNs)});
            const int64_t endNs = m_sessionEndNs ? *m_sessionEndNs - sessionStartNs()
                                                 : lastNs + kNs / kDefaultFrameRate;
            held[index]->duration =
                std::max<int64_t>({1, held[index]->duration,
                                   av_rescale_q(endNs, AVRational{1, int(kNs)}, stream->time_base) -
                                       held[index]->pts});
        }
        writeHeld(index);
    }
    ok = ok && av_write_trailer(output) >= 0;
    if (io != nullptr) {
        avio_flush(io);
        ok = ok && io->error >= 0;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    av_packet_free(&packet);
    avformat_free_context(output);
    avformat_close_input(&input);
    if (ok && ::rename(temporary.constData(), source.constData()) == 0) {
        syncDirectoryOf(m_path);
        return true;
    }
    ::unlink(temporary.constData());
    return false;
}

// VideoTrackInput ----------------------------------------------------------------------------

VideoTrackInput::VideoTrackInput(MovieWriter& writer, AVCodecContext* codec, AVStream* stream)
    : m_writer(writer)
    , m_codec(codec)
    , m_stream(stream) {
    const int width = codec->width;
    const int height = codec->height;
    const size_t bytes = size_t(aligned(width)) * size_t(height) +
                         2 * size_t(aligned(width / 2)) * size_t(height / 2);
    m_pool = av_buffer_pool_init(bytes, nullptr);
    m_staging = av_frame_alloc();
    m_waiting = av_frame_alloc();
    m_packet = av_packet_alloc();
    m_heldPacket = av_packet_alloc();
    m_thread = std::thread([this] { encodeLoop(); });
}

VideoTrackInput::~VideoTrackInput() {
    markAsFinished();
    av_frame_free(&m_staging);
    av_frame_free(&m_waiting);
    av_packet_free(&m_packet);
    av_packet_free(&m_heldPacket);
    avcodec_free_context(&m_codec);
    av_buffer_pool_uninit(&m_pool);
}

QString VideoTrackInput::encoderName() const {
    return QString::fromUtf8(m_codec->codec->name);
}

int VideoTrackInput::encodedFrameCount() const {
    const std::lock_guard lock(m_mutex);
    return m_encodedFrames;
}

bool VideoTrackInput::isReadyForMoreMediaData() const {
    {
        const std::lock_guard lock(m_mutex);
        if (m_hasWaiting || m_finishing) {
            return false;
        }
    }
    return m_writer.status() == MovieWriter::Status::Writing;
}

bool VideoTrackInput::convert(const ScreenFrame& frame, AVFrame* target) {
    const int width = m_codec->width;
    const int height = m_codec->height;
    AVBufferRef* buffer = av_buffer_pool_get(m_pool);
    if (buffer == nullptr) {
        return false;
    }
    target->buf[0] = buffer;
    target->width = width;
    target->height = height;
    target->linesize[0] = aligned(width);
    target->data[0] = buffer->data;
    // A source at most one pixel wider or taller than the track (an odd side rounded down
    // to even) loses its last column or row rather than being scaled.
    const QSize source = frame.sizePx();
    const int extraWidth = source.width() - width;
    const int extraHeight = source.height() - height;
    const bool cropped = extraWidth >= 0 && extraWidth <= 1 && extraHeight >= 0 && extraHeight <= 1;
    if (m_codec->hw_frames_ctx != nullptr) {
        // Hardware encoders take NV12: luma, then interleaved chroma.
        target->format = AV_PIX_FMT_NV12;
        target->linesize[1] = aligned(width);
        target->data[1] = target->data[0] + size_t(target->linesize[0]) * size_t(height);
        if (cropped) {
            libyuv::ARGBToNV12(frame.bits(), frame.bytesPerLine(), target->data[0],
                               target->linesize[0], target->data[1], target->linesize[1], width,
                               height);
            return true;
        }
        const int chroma = aligned(width / 2);
        m_scaled.resize(size_t(target->linesize[0]) * size_t(height) +
                        2 * size_t(chroma) * size_t(height / 2));
        uint8_t* y = m_scaled.data();
        uint8_t* u = y + size_t(target->linesize[0]) * size_t(height);
        uint8_t* v = u + size_t(chroma) * size_t(height / 2);
        scaleToI420(frame, y, target->linesize[0], u, v, chroma);
        libyuv::I420ToNV12(y, target->linesize[0], u, chroma, v, chroma, target->data[0],
                           target->linesize[0], target->data[1], target->linesize[1], width,
                           height);
        return true;
    }
    target->format = AV_PIX_FMT_YUV420P;
    target->linesize[1] = target->linesize[2] = aligned(width / 2);
    target->data[1] = target->data[0] + size_t(target->linesize[0]) * size_t(height);
    target->data[2] = target->data[1] + size_t(target->linesize[1]) * size_t(height / 2);
    if (cropped) {
        libyuv::ARGBToI420(frame.bits(), frame.bytesPerLine(), target->data[0], target->linesize[0],
                           target->data[1], target->linesize[1], target->data[2],
                           target->linesize[2], width, height);
        return true;
    }
    scaleToI420(frame, target->data[0], target->linesize[0], target->data[1], target->data[2],
                target->linesize[1]);
    return true;
}

void VideoTrackInput::scaleToI420(const ScreenFrame& frame, uint8_t* y, int yStride, uint8_t* u,
                                  uint8_t* v, int chromaStride) {
    // Converted at the source's size, then scaled: a quarter of the pixels to scale in
    // each chroma plane.
    const QSize source = frame.sizePx();
    const int sw = source.width();
    const int sh = source.height();
    const int chromaWidth = (sw + 1) / 2;
    const int chromaHeight = (sh + 1) / 2;
    m_unscaled.resize(size_t(sw) * size_t(sh) + 2 * size_t(chromaWidth) * size_t(chromaHeight));
    uint8_t* sy = m_unscaled.data();
    uint8_t* su = sy + size_t(sw) * size_t(sh);
    uint8_t* sv = su + size_t(chromaWidth) * size_t(chromaHeight);
    libyuv::ARGBToI420(frame.bits(), frame.bytesPerLine(), sy, sw, su, chromaWidth, sv, chromaWidth,
                       sw, sh);
    libyuv::I420Scale(sy, sw, su, chromaWidth, sv, chromaWidth, sw, sh, y, yStride, u, chromaStride,
                      v, chromaStride, m_codec->width, m_codec->height, libyuv::kFilterBilinear);
}

bool VideoTrackInput::append(const ScreenFrame& frame) {
    if (frame.status() != FrameStatus::Complete || frame.sizePx().isEmpty() ||
        !m_writer.sessionStarted() || !isReadyForMoreMediaData()) {
        return false;
    }
    const int64_t sinceStartNs = frame.presentationTimeNs() - m_writer.sessionStartNs();
    if (sinceStartNs < 0) {
        return false;
    }
    if (!convert(frame, m_staging)) {
        return false;
    }
    m_staging->pts = av_rescale(sinceStartNs, kVideoTimeScale, kNs);
    {
        const std::lock_guard lock(m_mutex);
        av_frame_unref(m_waiting);
        av_frame_move_ref(m_waiting, m_staging);
        m_hasWaiting = true;
    }
    m_wake.notify_one();
    return true;
}

void VideoTrackInput::markAsFinished() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_finished) {
            return;
        }
        m_finishing = true;
    }
    m_wake.notify_one();
    m_thread.join();
    const std::lock_guard lock(m_mutex);
    m_finished = true;
}

void VideoTrackInput::encodeLoop() {
    AVFrame* encoding = av_frame_alloc();
    int64_t lastPts = -1;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_hasWaiting || m_finishing; });
            if (!m_hasWaiting) {
                break;
            }
            av_frame_move_ref(encoding, m_waiting);
            m_hasWaiting = false;
        }
        // Frames closer than one tick of the track's clock would share a time.
        if (encoding->pts > lastPts && send(encoding)) {
            lastPts = encoding->pts;
            const std::lock_guard lock(m_mutex);
            ++m_encodedFrames;
        }
        av_frame_unref(encoding);
        drainPackets();
    }
    av_frame_free(&encoding);
    avcodec_send_frame(m_codec, nullptr);
    drainPackets();
    // The last frame lasts until the movie ends; without an end, one frame's time.
    if (m_holdsPacket) {
        const int64_t endPts =
            m_writer.m_sessionEndNs
                ? av_rescale(*m_writer.m_sessionEndNs - m_writer.sessionStartNs(), kVideoTimeScale,
                             kNs)
                : m_heldPacket->pts + kVideoTimeScale / m_codec->framerate.num;
        writeHeldPacket(std::max(endPts, m_heldPacket->pts + 1));
    }
}

bool VideoTrackInput::send(AVFrame* frame) {
    if (m_codec->hw_frames_ctx == nullptr) {
        return avcodec_send_frame(m_codec, frame) >= 0;
    }
    // Uploaded into the GPU's memory first.
    AVFrame* uploaded = av_frame_alloc();
    bool sent = av_hwframe_get_buffer(m_codec->hw_frames_ctx, uploaded, 0) >= 0 &&
                av_hwframe_transfer_data(uploaded, frame, 0) >= 0;
    if (sent) {
        uploaded->pts = frame->pts;
        sent = avcodec_send_frame(m_codec, uploaded) >= 0;
    }
    av_frame_free(&uploaded);
    return sent;
}

void VideoTrackInput::drainPackets() {
    while (avcodec_receive_packet(m_codec, m_packet) >= 0) {
        writeHeldPacket(m_packet->pts);
        av_packet_move_ref(m_heldPacket, m_packet);
        m_holdsPacket = true;
    }
}

void VideoTrackInput::writeHeldPacket(int64_t nextPts) {
    if (!m_holdsPacket) {
        return;
    }
    // No B-frames: packets come in presentation order.
    m_heldPacket->duration = std::max<int64_t>(1, nextPts - m_heldPacket->pts);
    m_writer.writePacket(m_heldPacket, m_stream, m_codec->time_base.num, m_codec->time_base.den);
    m_holdsPacket = false;
}

// AudioTrackInput ----------------------------------------------------------------------------

AudioTrackInput::AudioTrackInput(MovieWriter& writer, AVCodecContext* codec, AVStream* stream)
    : m_writer(writer)
    , m_codec(codec)
    , m_stream(stream) {
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
}

AudioTrackInput::~AudioTrackInput() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
}

bool AudioTrackInput::isReadyForMoreMediaData() const {
    return !m_finished && m_writer.status() == MovieWriter::Status::Writing;
}

bool AudioTrackInput::append(const float* samples, int count, int64_t hostTimeNs) {
    if (count <= 0 || !m_writer.sessionStarted() || !isReadyForMoreMediaData()) {
        return false;
    }
    const int rate = m_codec->sample_rate;
    int64_t start = av_rescale(hostTimeNs - m_writer.sessionStartNs(), rate, kNs);
    const int64_t tolerance = av_rescale(kAudioGapToleranceNs, rate, kNs);
    // Every track starts with the movie: silence until its first sound.
    const int64_t expected = m_encodedUntil + int64_t(m_pending.size());
    int64_t skip = 0;
    if (start > expected + (m_started ? tolerance : 0)) {
        m_pending.insert(m_pending.end(), size_t(start - expected), 0.0F);
    } else if (start < expected - (m_started ? tolerance : 0)) {
        skip = expected - start;
    }
    m_started = true;
    if (skip >= count) {
        return true;
    }
    m_pending.insert(m_pending.end(), samples + skip, samples + count);
    encodeFrames(false);
    return true;
}

void AudioTrackInput::markAsFinished() {
    if (m_finished) {
        return;
    }
    if (m_started) {
        encodeFrames(true);
    }
    m_finished = true;
}

void AudioTrackInput::encodeFrames(bool flush) {
    const int frameSize = m_codec->frame_size > 0 ? m_codec->frame_size : 1024;
    auto drain = [this] {
        while (avcodec_receive_packet(m_codec, m_packet) >= 0) {
            // The encoder's priming comes out one frame ahead of the first samples; before
            // the movie's start there is nothing to play it against, and a fragmented movie
            // has no edit list to hide it, so it is left out.
            if (m_packet->pts < 0) {
                av_packet_unref(m_packet);
                continue;
            }
            m_writer.writePacket(m_packet, m_stream, 1, m_codec->sample_rate);
        }
    };
    size_t used = 0;
    while (m_pending.size() - used >= size_t(frameSize) || (flush && used < m_pending.size())) {
        const int count = int(std::min(m_pending.size() - used, size_t(frameSize)));
        av_frame_unref(m_frame);
        m_frame->format = m_codec->sample_fmt;
        m_frame->sample_rate = m_codec->sample_rate;
        av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout);
        m_frame->nb_samples = count;
        if (av_frame_get_buffer(m_frame, 0) < 0) {
            break;
        }
        std::memcpy(m_frame->data[0], m_pending.data() + used, size_t(count) * sizeof(float));
        m_frame->pts = m_encodedUntil + int64_t(used);
        if (avcodec_send_frame(m_codec, m_frame) >= 0) {
            drain();
        }
        used += size_t(count);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(used));
    m_encodedUntil += int64_t(used);
    if (flush) {
        avcodec_send_frame(m_codec, nullptr);
        drain();
    }
}

} // namespace ivra
