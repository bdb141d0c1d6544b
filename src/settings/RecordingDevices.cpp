#include "settings/RecordingDevices.h"

#include <QAudioDevice>
#include <QCameraDevice>
#include <QMediaDevices>

namespace ivra {

RecordingDevices RecordingDevices::current() {
    RecordingDevices devices;
    for (const QCameraDevice& camera : QMediaDevices::videoInputs()) {
        devices.cameras.append({QString::fromUtf8(camera.id()), camera.description()});
    }
    for (const QAudioDevice& microphone : QMediaDevices::audioInputs()) {
        devices.microphones.append({QString::fromUtf8(microphone.id()), microphone.description()});
    }
    return devices;
}

} // namespace ivra
