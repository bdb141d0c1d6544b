#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "settings/SettingsEnums.h"

namespace ivra {

// What the command line asks for. Every switch is compared for exact equality with
// each argument; several may be combined.
struct LaunchOptions {
    // A directory follows the render switches; a render switch given as the last
    // argument is ignored and Ivra starts normally.
    std::optional<QString> renderMarketingDirectory;
    std::optional<QString> renderSplashDirectory;
    bool openSettings = false;
    bool selftestRecord = false;
    bool openRecordingSetup = false;

    // Linux additions: open an image in the editor; print the text recognised in an
    // image and exit.
    std::optional<QString> editFile;
    // --area, --window, --full-screen, --ocr: start that capture right after start-up.
    std::optional<CaptureAction> capture;
    std::optional<QString> recognizeFile;
    // --remove-background IN OUT: write IN with its background removed to OUT and exit.
    struct FilePair {
        QString input;
        QString output;
        bool operator==(const FilePair&) const = default;
    };
    std::optional<FilePair> removeBackground;

    bool showHelp = false;
    bool showVersion = false;

    // The first argument that is neither a switch nor a switch's value, if any.
    std::optional<QString> unknownArgument;
    // A switch that needs a value but was given none (for --edit, --recognize and
    // --remove-background).
    std::optional<QString> missingValueFor;

    // The splash is skipped when a switch opens a window or runs the self-test.
    bool suppressesSplash() const { return openSettings || selftestRecord || openRecordingSetup; }
    // Modes that never need a display.
    bool runsWithoutDisplay() const {
        return showHelp || showVersion || recognizeFile.has_value() || removeBackground.has_value();
    }
    // Modes that end the process when their work is done. They run in a process of their
    // own, beside a running Ivra, instead of being handed to it.
    bool endsWhenDone() const {
        return renderMarketingDirectory || renderSplashDirectory || selftestRecord;
    }
    // Something for Ivra to do besides being there: a plain `ivra` asks for nothing.
    bool hasRequest() const { return capture || editFile || openSettings || openRecordingSetup; }
};

// `arguments` without the program name.
LaunchOptions parseCommandLine(const QStringList& arguments);

QString helpText();
QString versionText();

} // namespace ivra
