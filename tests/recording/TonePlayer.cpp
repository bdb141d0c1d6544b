#include "TonePlayer.h"

#include <cmath>
#include <ctime>
#include <vector>

#include <pulse/simple.h>

namespace ivra::test {

namespace {

constexpr int kRate = 48000;
constexpr int kChunk = kRate / 200; // 5 ms

pa_sample_spec monoFloat() {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = kRate;
    spec.channels = 1;
    return spec;
}

} // namespace

int64_t monotonicNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

TonePlayer::TonePlayer(const QByteArray& sink) {
    const pa_sample_spec spec = monoFloat();
    pa_buffer_attr attributes{};
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(kChunk * 4 * sizeof(float));
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    int error = 0;
    m_stream = pa_simple_new(nullptr, "Ivra test", PA_STREAM_PLAYBACK, sink.constData(), "tone",
                             &spec, nullptr, &attributes, &error);
    if (m_stream != nullptr) {
        m_thread = std::thread([this] { run(); });
    }
}

TonePlayer::~TonePlayer() {
    m_running.store(false);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_stream != nullptr) {
        pa_simple_free(m_stream);
    }
}

void TonePlayer::playTone(double frequencyHz) {
    m_onsetNs.store(0);
    m_frequencyHz.store(frequencyHz);
}

void TonePlayer::playSilence() {
    m_frequencyHz.store(0);
}

void TonePlayer::run() {
    std::vector<float> chunk(kChunk);
    double playing = 0;
    int64_t phase = 0;
    while (m_running.load()) {
        const double frequency = m_frequencyHz.load();
        if (frequency != playing) {
            playing = frequency;
            phase = 0;
            if (frequency > 0) {
                int error = 0;
                const pa_usec_t latencyUs = pa_simple_get_latency(m_stream, &error);
                m_onsetNs.store(monotonicNowNs() + int64_t(latencyUs) * 1000);
            }
        }
        for (int i = 0; i < kChunk; ++i, ++phase) {
            chunk[size_t(i)] =
                playing > 0 ? float(0.5 * std::sin(2 * M_PI * playing * double(phase) / kRate))
                            : 0.0F;
        }
        int error = 0;
        if (pa_simple_write(m_stream, chunk.data(), chunk.size() * sizeof(float), &error) < 0) {
            return;
        }
    }
}

} // namespace ivra::test
