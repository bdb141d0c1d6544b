#include <QTest>

#include "app/CommandLine.h"

using namespace ivra;

class CommandLineTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void renderSwitchesTakeTheNextArgument();
    void switchesCombineAndMatchExactly();
    void fileSwitchesNeedAValue();
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
    QVERIFY(parseCommandLine({"--version"}).showVersion);
    QVERIFY(parseCommandLine({"-h"}).showHelp);
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
