#pragma once

#include <QString>
#include <QStringList>

namespace ivra::platform {

// Hands a command line to the Ivra that is already running. It runs before any Qt
// application object exists and speaks to the bus through libdbus directly, so that a
// forwarded request costs a few milliseconds on top of loading the program.
class InstanceClient {
public:
    // How long a running Ivra may take to answer. It answers at once when its start-up is
    // done; the wait covers a copy that is still starting.
    static constexpr int kDefaultTimeoutMs = 10000;

    enum class Outcome {
        Delivered,    // the running Ivra took the request
        Refused,      // it could not do what was asked; the message says why
        NoInstance,   // no Ivra runs on this session bus
        NoSessionBus, // there is no session bus to ask
        Failed,       // an Ivra runs but did not answer; the message says why
    };

    struct Result {
        Outcome outcome = Outcome::NoSessionBus;
        QString message;
    };

    // `arguments` without the program name; `workingDirectory` resolves relative file
    // names. Never starts a bus: without DBUS_SESSION_BUS_ADDRESS there is nobody to ask.
    static Result forwardCommandLine(const QStringList& arguments, const QString& workingDirectory,
                                     int timeoutMs = kDefaultTimeoutMs);
};

} // namespace ivra::platform
