#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include <QApplication>
#include <QDir>
#include <QTextStream>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/Forwarding.h"
#include "platform/dbus/InstanceService.h"
#include "platform/unix/TerminationSignals.h"
#include "platform/x11/XcbConnection.h"
#include "recognition/RecognizeCommand.h"
#include "segmentation/ModelFiles.h"
#include "segmentation/RemoveBackgroundCommand.h"
#include "segmentation/SubjectBackgroundRemover.h"
#include "settings/SettingsStore.h"

using ivra::argumentsOf;
using ivra::hasGraphicalSession;
using ivra::print;

int main(int argc, char** argv) {
    // Modes that need no display are decided before Qt connects to one.
    const QStringList arguments = argumentsOf(argc, argv);
    const ivra::LaunchOptions early = ivra::parseCommandLine(arguments);
    if (early.showHelp) {
        print(stdout, ivra::helpText());
        return 0;
    }
    if (early.showVersion) {
        print(stdout, ivra::versionText());
        return 0;
    }
    if (early.missingValueFor) {
        print(stderr, QStringLiteral("ivra: %1 needs a file name (see 'ivra --help')\n")
                          .arg(*early.missingValueFor));
        return 2;
    }
    // Said at once, display or not; Qt's own options (-platform, -style, …) are left for
    // Qt to take, and what remains unknown after it is said below.
    const bool unknownSaidEarly =
        early.unknownArgument && ivra::reportUnknownArgument(*early.unknownArgument);
    if (early.recognizeFile) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return ivra::runRecognizeCommand(*early.recognizeFile, out, err);
    }
    if (early.removeBackground) {
        QTextStream err(stderr);
        const ivra::segmentation::SubjectBackgroundRemover remover(
            ivra::segmentation::subjectMaskModelPath());
        return ivra::runRemoveBackgroundCommand(early.removeBackground->input,
                                                early.removeBackground->output, remover, err);
    }
    if (!hasGraphicalSession()) {
        print(stderr, QStringLiteral("ivra: Ivra needs a graphical session (X11 or Wayland), and "
                                     "none was found: DISPLAY and WAYLAND_DISPLAY are unset.\n"
                                     "To try it without one, run it under Xvfb, for example:\n"
                                     "    xvfb-run -a ivra\n"));
        return 1;
    }
    // Qt aborts when the X server named by DISPLAY is not there; say so instead.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !ivra::platform::XcbConnection::open()) {
        print(stderr, QStringLiteral("ivra: cannot reach the X server \"%1\" named by DISPLAY; is "
                                     "the graphical session still running?\n")
                          .arg(qEnvironmentVariable("DISPLAY")));
        return 1;
    }
    // One Ivra runs at a time: a second `ivra` gives its request to the first and ends,
    // before it loads anything the running one already has.
    if (ivra::forwardsToRunningIvra(early)) {
        if (const auto exitStatus = ivra::forwardToRunningIvra(arguments, early)) {
            return *exitStatus;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ivra"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setDesktopFileName(QStringLiteral("ivra"));

    // Before start-up marks this run as running: a logout or `kill` from now on ends Ivra
    // as a clean exit. One that comes before the event loop runs waits in the pipe and
    // ends it as soon as the loop starts.
    ivra::platform::TerminationSignals termination;
    QObject::connect(&termination, &ivra::platform::TerminationSignals::terminationRequested, &app,
                     [] { QApplication::quit(); });

    // Qt has taken its own options (-platform, -style, …) out of the arguments by now.
    const ivra::LaunchOptions options = ivra::parseCommandLine(argumentsOf(argc, argv));
    if (options.unknownArgument && !unknownSaidEarly) {
        ivra::reportUnknownArgument(*options.unknownArgument, true);
    }

    // The name is taken before start-up touches the crash marker or the capture library,
    // so a copy that loses a race with another starting one leaves both alone.
    ivra::platform::InstanceService instance;
    if (!options.endsWhenDone()) {
        switch (instance.claim()) {
        case ivra::platform::InstanceService::Claim::Claimed:
            break;
        case ivra::platform::InstanceService::Claim::HeldElsewhere:
            if (const auto exitStatus = ivra::forwardToRunningIvra(arguments, early)) {
                return *exitStatus;
            }
            print(stderr, QStringLiteral("ivra: another Ivra was starting and has gone; "
                                         "please try again.\n"));
            return 1;
        case ivra::platform::InstanceService::Claim::Unavailable:
            ivra::warnOnceWithoutSessionBus();
            break;
        }
    }

    ivra::AppDelegate delegate(app, ivra::SettingsStore::shared());
    if (const auto exitStatus = delegate.applicationDidFinishLaunching(options)) {
        return *exitStatus;
    }
    if (const auto error = delegate.handleRequest(options)) {
        print(stderr, QStringLiteral("ivra: %1\n").arg(*error));
        delegate.applicationWillTerminate();
        return 1;
    }

    // Requests from other `ivra` commands that came during start-up are handled now.
    instance.startHandling([&delegate](const ivra::LaunchOptions& request) {
        return delegate.handleRequest(request);
    });

    return app.exec();
}
