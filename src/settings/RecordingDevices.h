#pragma once

#include <QList>
#include <QString>

namespace ivra {

struct CaptureDevice {
    QString id;
    QString name;
};

// The cameras and microphones the recording settings offer, in the order the platform
// lists them. Empty lists on a machine without devices.
struct RecordingDevices {
    QList<CaptureDevice> cameras;
    QList<CaptureDevice> microphones;

    static RecordingDevices current();
};

} // namespace ivra
