#include "app/Forwarding.h"

#include <utility>

#include <QDir>

#include "platform/dbus/InstanceClient.h"

namespace ivra {

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

bool hasGraphicalSession() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

void warnOnceWithoutSessionBus() {
    static bool warned = false;
    if (!std::exchange(warned, true)) {
        print(stderr, QStringLiteral("ivra: no D-Bus session bus, so a second ivra will not find "
                                     "this one and will start another Ivra.\n"));
    }
}

bool forwardsToRunningIvra(const LaunchOptions& options) {
    return !options.runsWithoutDisplay() && !options.missingValueFor && !options.endsWhenDone() &&
           hasGraphicalSession();
}

bool reportUnknownArgument(const QString& argument, bool afterQt) {
    const bool mayBeQts =
        argument.startsWith(u'-') && !argument.startsWith(QLatin1String("--")) && argument != u'-';
    if (!afterQt && mayBeQts) {
        return false;
    }
    print(
        stderr,
        QStringLiteral("ivra: ignoring unknown argument '%1' (see 'ivra --help')\n").arg(argument));
    return true;
}

std::optional<int> forwardToRunningIvra(const QStringList& arguments, const LaunchOptions& options,
                                        bool quietWithoutBus) {
    using Client = platform::InstanceClient;
    const Client::Result result = Client::forwardCommandLine(arguments, QDir::currentPath());
    switch (result.outcome) {
    case Client::Outcome::Delivered:
        if (!options.hasRequest()) {
            print(stderr, QStringLiteral("ivra: Ivra is already running.\n"));
        }
        return 0;
    case Client::Outcome::Refused:
        print(stderr, QStringLiteral("ivra: %1\n").arg(result.message));
        return 1;
    case Client::Outcome::Failed:
        print(stderr, QStringLiteral("ivra: Ivra is running but did not take the request: %1\n")
                          .arg(result.message));
        return 1;
    case Client::Outcome::NoSessionBus:
        if (!quietWithoutBus) {
            warnOnceWithoutSessionBus();
        }
        return std::nullopt;
    case Client::Outcome::NoInstance:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace ivra
