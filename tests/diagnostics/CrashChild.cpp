// A stand-in for the application's start-up and end, run by the crash reporter tests as a
// separate process: it performs the reporter's start-up sequence and then ends the way its
// argument says (quit, hang, null, overflow, throw, thread-throw).
#include <cstdio>
#include <stdexcept>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "diagnostics/CrashReporter.h"

// The functions below have exported names (the target links with -rdynamic), so the tests
// can find them in the reported frames.

// Read at run time, so the compiler cannot see that the write below has no target.
int* volatile g_nowhere = nullptr;
volatile char g_lastFrame = 0;
volatile bool g_keepRecursing = true;

// A real fault even in sanitizer builds, which would otherwise stop at the null store.
[[gnu::noinline, gnu::no_sanitize("undefined")]] void crashThroughNullPointer() {
    *g_nowhere = 7;
}

[[gnu::noinline]] void throwUncaught() {
    throw std::runtime_error("disk on fire: \"/tmp\" is read-only");
}

// Runs into the stack's guard page; the report has to be written on a stack of its own.
[[gnu::noinline]] void overflowTheStack(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (g_keepRecursing) {
        overflowTheStack(depth + 1);
    }
    g_lastFrame = frame[0]; // work after the call keeps every level on the stack
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const ivra::CrashReporter reporter = ivra::CrashReporter::forApplication();
    reporter.flushPending();
    reporter.detectHardCrash();
    reporter.arm();
    reporter.install();

    if (mode == "quit") {
        // Quits through the event loop, as the application does.
        QObject::connect(&app, &QCoreApplication::aboutToQuit, [&] { reporter.markCleanExit(); });
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    } else if (mode == "hang") {
        std::puts("running");
        std::fflush(stdout);
    } else if (mode == "null") {
        crashThroughNullPointer();
    } else if (mode == "overflow") {
        overflowTheStack(0);
    } else if (mode == "throw") {
        throwUncaught();
    } else if (mode == "thread-throw") {
        std::thread([] { throwUncaught(); }).join();
    } else {
        return 2;
    }
    return app.exec();
}
