#pragma once

namespace ivra {

// The short sound that confirms a capture. Played only where the capture flow says so,
// and only when the user has it switched on ("playSoundOnCapture").
class CaptureSound {
public:
    virtual ~CaptureSound() = default;
    // Starts the sound and returns at once.
    virtual void play() = 0;
};

} // namespace ivra
