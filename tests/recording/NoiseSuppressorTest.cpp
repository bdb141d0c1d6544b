// The microphone's noise suppression on a generated signal: steady hiss, then speech-like
// tone bursts over it.

#include <cmath>
#include <random>
#include <vector>

#include <QtTest>

#include "MovieReader.h"
#include "recording/NoiseSuppressor.h"

using namespace ivra;

namespace {

constexpr int kRate = 48000;

double rms(const std::vector<float>& samples, size_t from, size_t to) {
    double energy = 0;
    for (size_t i = from; i < to; ++i) {
        energy += double(samples[i]) * samples[i];
    }
    return std::sqrt(energy / double(to - from));
}

} // namespace

class NoiseSuppressorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void takesSteadyNoiseOutAndKeepsTheVoice();
};

void NoiseSuppressorTest::takesSteadyNoiseOutAndKeepsTheVoice() {
    auto suppressor = NoiseSuppressor::create(kRate);
    QVERIFY(suppressor);
    QCOMPARE(suppressor->blockFrames(), 480);

    // 3 s of hiss alone, then 1 s of hiss with a 440 Hz tone that comes and goes every
    // 200 ms, as a voice does.
    std::mt19937 random(7);
    std::normal_distribution<float> hiss(0.0F, 0.03F);
    std::vector<float> input(size_t(4 * kRate));
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = hiss(random);
        const bool speaking =
            i >= size_t(3 * kRate) && ((i - size_t(3 * kRate)) / (kRate / 5)) % 2 == 0;
        if (speaking) {
            input[i] += float(0.3 * std::sin(2 * M_PI * 440 * double(i) / kRate));
        }
    }
    std::vector<float> output = input;
    for (size_t at = 0; at + 480 <= output.size(); at += 480) {
        QVERIFY(suppressor->process(output.data() + at));
    }

    // Once it has heard the hiss for a while, most of it is gone.
    const double hissBefore = rms(input, size_t(2.5 * kRate), size_t(3 * kRate));
    const double hissAfter = rms(output, size_t(2.5 * kRate), size_t(3 * kRate));
    QVERIFY2(hissAfter < hissBefore / 3,
             qPrintable(QString("%1 → %2").arg(hissBefore).arg(hissAfter)));
    // The voice stays: the first burst, past its onset.
    const std::vector<float> burst(output.begin() + 3 * kRate + kRate / 20,
                                   output.begin() + 3 * kRate + kRate / 5);
    QVERIFY2(test::toneShare(burst, kRate, 440) > 0.7,
             qPrintable(QString::number(test::toneShare(burst, kRate, 440))));
    QVERIFY(rms(burst, 0, burst.size()) > 0.1);
}

QTEST_GUILESS_MAIN(NoiseSuppressorTest)
#include "NoiseSuppressorTest.moc"
