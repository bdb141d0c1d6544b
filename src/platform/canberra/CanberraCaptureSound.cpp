#include "platform/canberra/CanberraCaptureSound.h"

#include <cmath>
#include <cstring>

#include <canberra.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>

#include "imageio/AtomicFile.h"

namespace ivra::platform {

namespace {

constexpr int kSampleRate = 48000;
constexpr const char* kFallbackBaseName = "capture-click";

void appendLittleEndian(QByteArray& bytes, quint32 value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// One context for the whole run, never destroyed: destroying it unloads libcanberra's
// output driver and the sound server's client library with it, whose per-thread clean-up
// would then run into unmapped code when any other thread of the process ends (seen as a
// crash at exit while worker threads wound down).
ca_context* sharedContext() {
    static ca_context* const context = [] {
        ca_context* created = nullptr;
        if (ca_context_create(&created) != CA_SUCCESS) {
            return static_cast<ca_context*>(nullptr);
        }
        ca_context_change_props(created, CA_PROP_APPLICATION_NAME, "Ivra", CA_PROP_APPLICATION_ID,
                                "ivra", CA_PROP_APPLICATION_ICON_NAME, "ivra", nullptr);
        return created;
    }();
    return context;
}

} // namespace

CanberraCaptureSound::CanberraCaptureSound(QString fallbackFolder)
    : m_fallback(std::make_shared<const Fallback>(Fallback{std::move(fallbackFolder)})) {
}

void CanberraCaptureSound::play() {
    ca_context* context = sharedContext();
    if (!context) {
        return;
    }
    ca_proplist* properties = nullptr;
    if (ca_proplist_create(&properties) != CA_SUCCESS) {
        return;
    }
    ca_proplist_sets(properties, CA_PROP_EVENT_ID, kEventID);
    ca_proplist_sets(properties, CA_PROP_EVENT_DESCRIPTION, "Screenshot taken");
    // The theme lookup happens off this thread; a missing sound is reported to the
    // callback, which then asks for the fallback.
    auto* request = new std::weak_ptr<const Fallback>(m_fallback);
    const int result = ca_context_play_full(context, 0, properties, &finished, request);
    ca_proplist_destroy(properties);
    if (result != CA_SUCCESS) {
        // The callback is not called for a sound that did not start.
        delete request;
        if (result == CA_ERROR_NOTFOUND) {
            playFallback(*m_fallback);
        }
    }
}

void CanberraCaptureSound::finished(ca_context*, uint32_t, int error, void* request) {
    std::unique_ptr<std::weak_ptr<const Fallback>> fallback(
        static_cast<std::weak_ptr<const Fallback>*>(request));
    if (error != CA_ERROR_NOTFOUND) {
        return;
    }
    // This runs on libcanberra's thread, which must not start another sound from inside
    // its callback: the fallback starts from the main thread, if the sound object is still
    // there.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [fallback = *fallback] {
            if (const auto alive = fallback.lock()) {
                playFallback(*alive);
            }
        },
        Qt::QueuedConnection);
}

void CanberraCaptureSound::playFallback(const Fallback& fallback) {
    ca_context* context = sharedContext();
    const QString path = ensureFallbackFile(fallback.folder);
    if (!context || path.isEmpty()) {
        return;
    }
    const QByteArray file = QFile::encodeName(path);
    ca_context_play(context, 1, CA_PROP_MEDIA_FILENAME, file.constData(), CA_PROP_EVENT_DESCRIPTION,
                    "Screenshot taken", nullptr);
}

QByteArray CanberraCaptureSound::fallbackClickWav() {
    // Two short bursts of decaying noise, like a shutter opening and closing; 90 ms.
    constexpr int kLengthSamples = kSampleRate * 90 / 1000;
    QByteArray samples;
    samples.reserve(kLengthSamples * 2);
    quint32 noise = 0x2545f491u;
    for (int i = 0; i < kLengthSamples; ++i) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double white = (static_cast<double>(noise & 0xffff) / 32768.0) - 1.0;
        const double t = static_cast<double>(i) / kSampleRate;
        const double second = t - 0.045;
        double envelope = std::exp(-t * 160.0);
        if (second >= 0) {
            envelope += 0.7 * std::exp(-second * 200.0);
        }
        const auto value = static_cast<qint16>(std::lround(white * envelope * 0.5 * 32767.0));
        appendLittleEndian(samples, static_cast<quint16>(value), 2);
    }
    QByteArray wav("RIFF");
    appendLittleEndian(wav, 36 + samples.size(), 4);
    wav.append("WAVEfmt ");
    appendLittleEndian(wav, 16, 4);              // format chunk size
    appendLittleEndian(wav, 1, 2);               // PCM
    appendLittleEndian(wav, 1, 2);               // mono
    appendLittleEndian(wav, kSampleRate, 4);     // sample rate
    appendLittleEndian(wav, kSampleRate * 2, 4); // bytes per second
    appendLittleEndian(wav, 2, 2);               // block alignment
    appendLittleEndian(wav, 16, 2);              // bits per sample
    wav.append("data");
    appendLittleEndian(wav, samples.size(), 4);
    wav.append(samples);
    return wav;
}

QString CanberraCaptureSound::ensureFallbackFile(const QString& folder) {
    const QString path =
        QDir(folder).filePath(QLatin1String(kFallbackBaseName) + QStringLiteral(".wav"));
    if (QFile::exists(path)) {
        return path;
    }
    if (!QDir().mkpath(folder)) {
        return {};
    }
    const auto written = imageio::writeNewFile(folder, QLatin1String(kFallbackBaseName),
                                               QStringLiteral("wav"), fallbackClickWav());
    // Two processes racing: the other one's file is the same sound.
    return written ? *written : (QFile::exists(path) ? path : QString());
}

std::unique_ptr<CaptureSound> createCaptureSound() {
    return std::make_unique<CanberraCaptureSound>(
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
            .filePath(QStringLiteral("ivra")));
}

} // namespace ivra::platform
