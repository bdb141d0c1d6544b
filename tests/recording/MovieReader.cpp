#include "MovieReader.h"

#include <algorithm>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ivra::test {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;

struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

FormatPtr open(const QString& path) {
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.toUtf8().constData(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    FormatPtr format(context);
    if (avformat_find_stream_info(context, nullptr) < 0) {
        return nullptr;
    }
    return format;
}

QString tagText(uint32_t tag) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        text += QChar(char((tag >> (8 * i)) & 0xff));
    }
    return text;
}

// Decodes every frame of stream `index`, handing each to `use`.
template <typename Use> bool decode(AVFormatContext* format, int index, Use use) {
    AVStream* stream = format->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        return false;
    }
    CodecPtr codec(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(codec.get(), stream->codecpar);
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return false;
    }
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) >= 0) {
            const int64_t pts = frame->best_effort_timestamp;
            use(*frame, pts == AV_NOPTS_VALUE ? 0.0 : double(pts) * av_q2d(stream->time_base));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(codec.get(), packet.get()) >= 0) {
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(codec.get(), nullptr);
    receive();
    return true;
}

} // namespace

QList<MovieTrack> Movie::tracksOfKind(const QString& kind) const {
    QList<MovieTrack> result;
    for (const MovieTrack& track : tracks) {
        if (track.kind == kind) {
            result << track;
        }
    }
    return result;
}

std::optional<Movie> readMovie(const QString& path) {
    FormatPtr format = open(path);
    if (!format) {
        return std::nullopt;
    }
    Movie movie;
    movie.formatName = QString::fromUtf8(format->iformat->name);
    movie.durationSeconds =
        format->duration == AV_NOPTS_VALUE ? 0 : double(format->duration) / AV_TIME_BASE;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        MovieTrack track;
        track.kind = parameters->codec_type == AVMEDIA_TYPE_VIDEO   ? QStringLiteral("video")
                     : parameters->codec_type == AVMEDIA_TYPE_AUDIO ? QStringLiteral("audio")
                                                                    : QStringLiteral("other");
        track.codec = QString::fromUtf8(avcodec_get_name(parameters->codec_id));
        track.tag = tagText(parameters->codec_tag);
        track.sizePx = QSize(parameters->width, parameters->height);
        track.sampleRate = parameters->sample_rate;
        track.channelCount = parameters->ch_layout.nb_channels;
        track.durationSeconds = stream->duration == AV_NOPTS_VALUE
                                    ? 0
                                    : double(stream->duration) * av_q2d(stream->time_base);
        movie.tracks << track;
    }
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        MovieTrack& track = movie.tracks[packet->stream_index];
        ++track.packetCount;
        if (packet->pts != AV_NOPTS_VALUE) {
            track.packetTimes.push_back(double(packet->pts) *
                                        av_q2d(format->streams[packet->stream_index]->time_base));
        }
        av_packet_unref(packet.get());
    }
    return movie;
}

std::vector<FrameLuma> readVideoLuma(const QString& path) {
    std::vector<FrameLuma> frames;
    FormatPtr format = open(path);
    if (!format) {
        return frames;
    }
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return frames;
    }
    decode(format.get(), index, [&frames](const AVFrame& frame, double time) {
        double sum = 0;
        for (int y = 0; y < frame.height; ++y) {
            const uint8_t* row = frame.data[0] + ptrdiff_t(y) * frame.linesize[0];
            for (int x = 0; x < frame.width; ++x) {
                sum += row[x];
            }
        }
        frames.push_back({time, sum / (double(frame.width) * frame.height)});
    });
    return frames;
}

std::optional<DecodedAudio> readAudio(const QString& path, int index) {
    FormatPtr format = open(path);
    if (!format) {
        return std::nullopt;
    }
    int found = -1;
    for (unsigned i = 0, audio = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            int(audio++) == index) {
            found = int(i);
        }
    }
    if (found < 0) {
        return std::nullopt;
    }
    DecodedAudio audio;
    audio.sampleRate = format->streams[found]->codecpar->sample_rate;
    bool first = true;
    const bool ok = decode(format.get(), found, [&](const AVFrame& frame, double time) {
        if (first) {
            audio.startSeconds = time;
            first = false;
        }
        const auto* samples = reinterpret_cast<const float*>(frame.extended_data[0]);
        audio.samples.insert(audio.samples.end(), samples, samples + frame.nb_samples);
    });
    if (!ok) {
        return std::nullopt;
    }
    return audio;
}

double toneShare(const std::vector<float>& samples, int sampleRate, double frequencyHz) {
    // Measured over 100 ms windows and summed: a tone whose phase jumps (a player that
    // missed a deadline on a busy machine) still counts in full, where one transform
    // over the whole track would let the pieces cancel out.
    const size_t window = std::min(samples.size(), size_t(sampleRate / 10));
    const double coefficient = 2 * std::cos(2 * M_PI * frequencyHz / sampleRate);
    double tonePower = 0;
    double energy = 0;
    for (size_t start = 0; start + window <= samples.size() && window > 0; start += window) {
        double previous = 0;
        double beforePrevious = 0;
        for (size_t i = start; i < start + window; ++i) {
            const double current = samples[i] + coefficient * previous - beforePrevious;
            beforePrevious = previous;
            previous = current;
            energy += double(samples[i]) * samples[i];
        }
        tonePower += 2 *
                     (previous * previous + beforePrevious * beforePrevious -
                      coefficient * previous * beforePrevious) /
                     double(window);
    }
    return energy > 0 ? tonePower / energy : 0;
}

} // namespace ivra::test
