#include <cstdio>
#include <memory>

#include <QApplication>
#include <QTextStream>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "platform/unix/TerminationSignals.h"
#include "recognition/RecognizeCommand.h"
#include "settings/SettingsStore.h"

namespace {

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

} // namespace

int main(int argc, char** argv) {
    // Modes that need no display are decided before Qt connects to one.
    const ivra::LaunchOptions early = ivra::parseCommandLine(argumentsOf(argc, argv));
    if (early.showHelp) {
        print(stdout, ivra::helpText());
        return 0;
    }
    if (early.showVersion) {
        print(stdout, ivra::versionText());
        return 0;
    }
    if (early.missingValueFor) {
        print(stderr, QStringLiteral("ivra: %1 needs a file name.\nTry 'ivra --help'.\n")
                          .arg(*early.missingValueFor));
        return 2;
    }
    if (early.recognizeFile) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return ivra::runRecognizeCommand(*early.recognizeFile, out, err);
    }
    if (!hasGraphicalSession()) {
        print(stderr, QStringLiteral("ivra: Ivra needs a graphical session (X11 or Wayland), and "
                                     "none was found: DISPLAY and WAYLAND_DISPLAY are unset.\n"
                                     "To try it without one, run it under Xvfb, for example:\n"
                                     "    xvfb-run -a ivra\n"));
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ivra"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setDesktopFileName(QStringLiteral("ivra"));

    // Qt has taken its own options (-platform, -style, …) out of the arguments by now.
    const ivra::LaunchOptions options = ivra::parseCommandLine(argumentsOf(argc, argv));
    if (options.unknownArgument) {
        print(stderr, QStringLiteral("ivra: ignoring unknown argument '%1' (see 'ivra --help').\n")
                          .arg(*options.unknownArgument));
    }

    ivra::AppDelegate delegate(app, ivra::SettingsStore::shared());
    if (const auto exitStatus = delegate.applicationDidFinishLaunching(options)) {
        return *exitStatus;
    }

    ivra::platform::TerminationSignals termination;
    QObject::connect(&termination, &ivra::platform::TerminationSignals::terminationRequested, &app,
                     [] { QApplication::quit(); });
    return app.exec();
}
