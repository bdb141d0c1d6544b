// `ivra`: hands the request to the Ivra already running on this session bus, which takes
// a few milliseconds; otherwise becomes the full program (ivra-app, next to this file),
// which starts Ivra or answers the modes that need no running Ivra.
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "app/Forwarding.h"

int main(int argc, char** argv) {
    const QStringList arguments = ivra::argumentsOf(argc, argv);
    const ivra::LaunchOptions options = ivra::parseCommandLine(arguments);
    if (ivra::forwardsToRunningIvra(options)) {
        // The full program says what is wrong with the bus, if it matters.
        if (const auto exitStatus = ivra::forwardToRunningIvra(arguments, options, true)) {
            if (options.unknownArgument) {
                ivra::reportUnknownArgument(*options.unknownArgument);
            }
            return *exitStatus;
        }
    }
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QByteArray app =
        QFile::encodeName(QFileInfo(self).absolutePath() + QStringLiteral("/ivra-app"));
    execv(app.constData(), argv);
    ivra::print(stderr,
                QStringLiteral("ivra: cannot start %1: %2\n")
                    .arg(QFile::decodeName(app), QString::fromLocal8Bit(std::strerror(errno))));
    return 127;
}
