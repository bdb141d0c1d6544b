#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include <QByteArray>

struct pa_simple;

namespace ivra::test {

// Plays into one PulseAudio sink without pause: silence until a tone is asked for, then the
// tone until silence is asked for again. Knows when the tone's first sample is heard on the
// host's monotonic clock (the write time plus the stream's playback latency).
class TonePlayer {
public:
    // Nothing plays when the sink cannot be opened (ok() is no).
    explicit TonePlayer(const QByteArray& sink);
    ~TonePlayer();

    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    bool ok() const { return m_stream != nullptr; }
    void playTone(double frequencyHz);
    void playSilence();
    // When the current tone started to be heard; 0 until it has been written.
    int64_t toneOnsetNs() const { return m_onsetNs.load(); }

private:
    void run();

    pa_simple* m_stream = nullptr;
    std::atomic<double> m_frequencyHz{0};
    std::atomic<int64_t> m_onsetNs{0};
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

// A null sink that no stream keeps busy renders in blocks of two seconds: the first stream
// after a pause waits that long for its first sound, with a wrong latency. A player that
// keeps a sink busy has it answering promptly after this long.
constexpr int kSoundServerWakeMs = 2500;

int64_t monotonicNowNs();

} // namespace ivra::test
