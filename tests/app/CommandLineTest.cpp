#include <QTest>

#include "app/CommandLine.h"

using namespace ivra;

class CommandLineTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void renderSwitchesTakeTheNextArgument();
    void switchesCombineAndMatchExactly();
    void fileSwitchesNeedAValue();
    void captureSwitchesAskForOneCapture_data();
    void captureSwitchesAskForOneCapture();
    void requestsAndModesThatEndTheProcessAreTold();
    void helpListsTheRequestSwitches();
};

void CommandLineTest::renderSwitchesTakeTheNextArgument() {
    const auto rendered = parseCommandLine({"--render-marketing", "/tmp/out"});
    QCOMPARE(rendered.renderMarketingDirectory, std::optional<QString>("/tmp/out"));
    QVERIFY(!rendered.unknownArgument);

    // As the last argument a render switch is ignored: a normal start.
    const auto last = parseCommandLine({"--open-settings", "--render-marketing"});
    QVERIFY(!last.renderMarketingDirectory);
    QVERIFY(last.openSettings);

    const auto splash = parseCommandLine({"--render-splash", "--open-settings"});
    QCOMPARE(splash.renderSplashDirectory, std::optional<QString>("--open-settings"));
    QVERIFY(!splash.openSettings); // the directory is taken as given
}

void CommandLineTest::switchesCombineAndMatchExactly() {
    const auto both = parseCommandLine({"--selftest-record", "--open-recording-setup"});
    QVERIFY(both.selftestRecord && both.openRecordingSetup && both.suppressesSplash());
    QVERIFY(!parseCommandLine({}).suppressesSplash());

    const auto near = parseCommandLine({"--open-settings=1", "--Open-Settings", "-open-settings"});
    QVERIFY(!near.openSettings);
    QCOMPARE(near.unknownArgument, std::optional<QString>("--open-settings=1"));
}

void CommandLineTest::fileSwitchesNeedAValue() {
    const auto edit = parseCommandLine({"--edit", "shot.png"});
    QCOMPARE(edit.editFile, std::optional<QString>("shot.png"));
    QVERIFY(!edit.runsWithoutDisplay());

    const auto recognize = parseCommandLine({"--recognize", "a b.png"});
    QCOMPARE(recognize.recognizeFile, std::optional<QString>("a b.png"));
    QVERIFY(recognize.runsWithoutDisplay());

    QCOMPARE(parseCommandLine({"--recognize"}).missingValueFor,
             std::optional<QString>("--recognize"));

    const auto remove = parseCommandLine({"--remove-background", "in.png", "out.png", "--area"});
    QCOMPARE(remove.removeBackground,
             (std::optional<LaunchOptions::FilePair>({"in.png", "out.png"})));
    QVERIFY(remove.runsWithoutDisplay());
    QCOMPARE(remove.capture, std::optional<CaptureAction>(CaptureAction::Area));
    // Both files are needed; a lone one is not taken as the input.
    const auto lone = parseCommandLine({"--remove-background", "in.png"});
    QCOMPARE(lone.missingValueFor, std::optional<QString>("--remove-background"));
    QVERIFY(!lone.removeBackground);
    QVERIFY(parseCommandLine({"--version"}).showVersion);
    QVERIFY(parseCommandLine({"-h"}).showHelp);
}

void CommandLineTest::captureSwitchesAskForOneCapture_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action"); // -1: none
    QTest::newRow("area") << QStringList{"--area"} << int(CaptureAction::Area);
    QTest::newRow("window") << QStringList{"--window"} << int(CaptureAction::Window);
    QTest::newRow("full screen") << QStringList{"--full-screen"} << int(CaptureAction::FullScreen);
    QTest::newRow("text") << QStringList{"--ocr"} << int(CaptureAction::Ocr);
    QTest::newRow("the last one wins")
        << QStringList{"--ocr", "--edit", "a.png", "--window"} << int(CaptureAction::Window);
    QTest::newRow("a file named like a switch") << QStringList{"--edit", "--area"} << -1;
    QTest::newRow("near misses") << QStringList{"--fullscreen", "--Area", "-area", "--ocr=1"} << -1;
}

void CommandLineTest::captureSwitchesAskForOneCapture() {
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    const auto options = parseCommandLine(arguments);
    QCOMPARE(options.capture ? int(*options.capture) : -1, action);
    QCOMPARE(options.hasRequest(), action >= 0 || options.editFile.has_value());
    QVERIFY(!options.suppressesSplash() && !options.endsWhenDone());
}

void CommandLineTest::requestsAndModesThatEndTheProcessAreTold() {
    QVERIFY(!parseCommandLine({}).hasRequest());
    QVERIFY(parseCommandLine({"--open-settings"}).hasRequest());
    QVERIFY(parseCommandLine({"--open-recording-setup"}).hasRequest());
    // A plain start with a stray argument is still a plain start.
    QVERIFY(!parseCommandLine({"--bogus"}).hasRequest());

    QVERIFY(parseCommandLine({"--selftest-record"}).endsWhenDone());
    QVERIFY(parseCommandLine({"--render-splash", "/tmp/x"}).endsWhenDone());
    QVERIFY(parseCommandLine({"--render-marketing", "/tmp/x"}).endsWhenDone());
    QVERIFY(!parseCommandLine({"--render-marketing"}).endsWhenDone());
}

void CommandLineTest::helpListsTheRequestSwitches() {
    const QString help = helpText();
    for (const char* name : {"--area", "--window", "--full-screen", "--ocr", "--edit FILE",
                             "--open-settings", "--open-recording-setup", "--recognize FILE"}) {
        QVERIFY2(help.contains(QLatin1String("  ") + QLatin1String(name) + QLatin1String("  ")),
                 name);
    }
    QVERIFY(help.contains(QLatin1String("  --remove-background IN OUT\n")));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
