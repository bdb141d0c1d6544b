#pragma once

#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QString>

#include "services/CaptureSound.h"

struct ca_context;

namespace ivra::platform {

// The desktop's own "screen-capture" event sound through libcanberra (which follows the
// user's sound theme and output device); when the theme has no such sound, a short
// shutter click that Ivra makes itself.
class CanberraCaptureSound final : public CaptureSound {
public:
    static constexpr const char* kEventID = "screen-capture";

    // `fallbackFolder`: where the fallback click is written on first need.
    explicit CanberraCaptureSound(QString fallbackFolder);

    void play() override;

    // The fallback click as a 16-bit mono WAV file.
    static QByteArray fallbackClickWav();
    // Writes the fallback click into the folder when it is not there yet; its path, or
    // an empty string when it cannot be written.
    static QString ensureFallbackFile(const QString& folder);

private:
    struct Fallback {
        QString folder;
    };

    static void finished(ca_context* context, uint32_t id, int error, void* request);
    static void playFallback(const Fallback& fallback);

    // Fallbacks requested from libcanberra's thread are played only while this lives.
    std::shared_ptr<const Fallback> m_fallback;
};

// The application's capture sound: the fallback click kept in the user's cache folder.
std::unique_ptr<CaptureSound> createCaptureSound();

} // namespace ivra::platform
