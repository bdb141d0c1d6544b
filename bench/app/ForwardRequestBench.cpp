// How long a second `ivra` takes to hand its request to the running one, from process start
// to exit, against `ivra --version` (loading the program and nothing else) in the same run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "BenchSupport.h"
#include "PrivateSessionBus.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

extern char** environ;

namespace {

constexpr int kRuns = 21;
constexpr int kCaptureRuns = 5;

// posix_spawn and waitpid: no more than the shell of a desktop shortcut adds.
int runIvra(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), IVRA_BINARY);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, IVRA_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

bool waitUntilRunning() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QStringLiteral("org.vantrel.Ivra"))) {
            // The first request waits for the end of start-up; the timed ones must not.
            return runIvra({}) == 0;
        }
        QThread::msleep(20);
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ivra::test::PrivateSessionBus bus;
    QTemporaryDir folder;
    if (!bus.start() || !folder.isValid()) {
        std::fputs("bench_forward_request: no session bus\n", stderr);
        return 1;
    }
    // Captures go to a folder: without one the running Ivra would ask for it.
    ivra::SettingsStore settings(std::make_shared<ivra::platform::IniKeyValueStore>());
    settings.setSaveDirectory(folder.path());

    QProcess running;
    running.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    running.start(QStringLiteral(IVRA_BINARY), {});
    if (!running.waitForStarted() || !waitUntilRunning()) {
        std::fputs("bench_forward_request: ivra did not start\n", stderr);
        return 1;
    }

    int failures = 0;
    const auto timed = [&failures](const std::vector<std::string>& arguments) {
        if (runIvra(arguments) != 0) {
            ++failures;
        }
    };
    const double baselineMs = ivra::bench::medianMs(kRuns, [&] { timed({"--version"}); });
    const double forwardMs = ivra::bench::medianMs(kRuns, [&] { timed({}); });
    const double captureMs = ivra::bench::medianMs(kCaptureRuns, [&] { timed({"--full-screen"}); });

    running.terminate();
    running.waitForFinished(10000);
    if (failures != 0) {
        std::fprintf(stderr, "bench_forward_request: %d runs failed\n", failures);
        return 1;
    }
    ivra::bench::report("process_start_baseline", baselineMs, "ms");
    ivra::bench::report("forward_request", forwardMs, "ms");
    ivra::bench::report("forward_request_full_screen", captureMs, "ms");
    ivra::bench::report("forward_request_vs_baseline", forwardMs / baselineMs, "x");
    return 0;
}
