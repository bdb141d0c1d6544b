#include "app/CommandLine.h"

#include "IvraConfig.h"

namespace ivra {

namespace {

const QString kRenderMarketing = QStringLiteral("--render-marketing");
const QString kRenderSplash = QStringLiteral("--render-splash");
const QString kOpenSettings = QStringLiteral("--open-settings");
const QString kSelftestRecord = QStringLiteral("--selftest-record");
const QString kOpenRecordingSetup = QStringLiteral("--open-recording-setup");
const QString kEdit = QStringLiteral("--edit");
const QString kRecognize = QStringLiteral("--recognize");
const QString kRemoveBackground = QStringLiteral("--remove-background");

struct CaptureSwitch {
    const char* name;
    CaptureAction action;
};

constexpr CaptureSwitch kCaptureSwitches[] = {
    {"--area", CaptureAction::Area},
    {"--window", CaptureAction::Window},
    {"--full-screen", CaptureAction::FullScreen},
    {"--ocr", CaptureAction::Ocr},
};

std::optional<CaptureAction> captureSwitch(const QString& argument) {
    for (const CaptureSwitch& entry : kCaptureSwitches) {
        if (argument == QLatin1String(entry.name)) {
            return entry.action;
        }
    }
    return std::nullopt;
}

} // namespace

LaunchOptions parseCommandLine(const QStringList& arguments) {
    LaunchOptions options;
    const qsizetype count = arguments.size();
    // Takes the argument after position i as the switch's value, when there is one.
    auto valueAfter = [&](qsizetype& i) -> std::optional<QString> {
        if (i + 1 < count) {
            return arguments.at(++i);
        }
        return std::nullopt;
    };
    for (qsizetype i = 0; i < count; ++i) {
        const QString& argument = arguments.at(i);
        if (argument == kRenderMarketing) {
            if (auto value = valueAfter(i)) {
                options.renderMarketingDirectory = value;
            }
        } else if (argument == kRenderSplash) {
            if (auto value = valueAfter(i)) {
                options.renderSplashDirectory = value;
            }
        } else if (argument == kOpenSettings) {
            options.openSettings = true;
        } else if (argument == kSelftestRecord) {
            options.selftestRecord = true;
        } else if (argument == kOpenRecordingSetup) {
            options.openRecordingSetup = true;
        } else if (const auto action = captureSwitch(argument)) {
            // One capture at a time: the last switch wins.
            options.capture = action;
        } else if (argument == kEdit || argument == kRecognize) {
            auto value = valueAfter(i);
            if (!value) {
                options.missingValueFor = argument;
            } else if (argument == kEdit) {
                options.editFile = value;
            } else {
                options.recognizeFile = value;
            }
        } else if (argument == kRemoveBackground) {
            auto input = valueAfter(i);
            auto output = input ? valueAfter(i) : std::nullopt;
            if (!output) {
                options.missingValueFor = argument;
            } else {
                options.removeBackground = LaunchOptions::FilePair{*input, *output};
            }
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.showHelp = true;
        } else if (argument == QLatin1String("--version")) {
            options.showVersion = true;
        } else if (!options.unknownArgument) {
            options.unknownArgument = argument;
        }
    }
    return options;
}

QString helpText() {
    return QStringLiteral(
        "Usage: ivra [OPTION]...\n"
        "Screenshots that wait for you — annotate, copy, pin.\n"
        "\n"
        "Without options Ivra starts in the system tray. When Ivra is already running,\n"
        "the request goes to the running Ivra and this command ends at once.\n"
        "\n"
        "Options:\n"
        "  --area                   capture an area of the screen\n"
        "  --window                 capture a window\n"
        "  --full-screen            capture the screen with the keyboard focus\n"
        "  --ocr                    recognise the text in an area of the screen\n"
        "  --edit FILE              open an image file in the editor\n"
        "  --open-settings          open the settings window\n"
        "  --open-recording-setup   open the screen recording setup\n"
        "  --recognize FILE         print the text recognised in an image file and exit\n"
        "  --selftest-record        record the first display for 3 s to /tmp/selftest-rec.mov\n"
        "                           and print SELFTEST_DONE <file> or SELFTEST_FAIL <reason>\n"
        "  --remove-background IN OUT\n"
        "                           write image IN with its background removed to OUT\n"
        "                           (PNG) and exit\n"
        "  -h, --help               show this help and exit\n"
        "      --version            show the version and exit\n");
}

QString versionText() {
    return QStringLiteral("ivra %1\n").arg(QLatin1String(IVRA_VERSION));
}

} // namespace ivra
