#include "diagnostics/CrashHandlers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <time.h>
#include <typeinfo>
#include <ucontext.h>
#include <unistd.h>

#include <QFile>

#include "diagnostics/CrashEvent.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/SignalSafeJsonWriter.h"

namespace ivra::diagnostics {

namespace {

struct FatalSignal {
    int number;
    const char* name;
    const char* description;
};

constexpr std::array<FatalSignal, 5> kFatalSignals{{
    {SIGSEGV, "SIGSEGV", "Segmentation fault"},
    {SIGBUS, "SIGBUS", "Bus error"},
    {SIGFPE, "SIGFPE", "Floating-point exception"},
    {SIGILL, "SIGILL", "Illegal instruction"},
    {SIGABRT, "SIGABRT", "Aborted"},
}};

constexpr std::size_t kPathCapacity = 4096;
constexpr std::size_t kTextCapacity = 512;
// Enough bytes for the longest frame text that is kept, at four bytes a character.
constexpr std::size_t kFrameLineCapacity = 4 * CrashEvent::kMaxFrameCharacters;
constexpr int kMaxCapturedFrames = 256;
// Frames of the signal path itself when the interrupted frame cannot be found by its
// address: writeSignalReport, onFatalSignal and the kernel's signal trampoline.
constexpr int kSignalHandlerFrames = 3;
// Room for the handler's frames, whatever wraps them (a sanitizer's interceptor, say).
constexpr int kMaxSignalHandlerFrames = 8;
// Frames of the terminate path itself (onTerminate) above the capture.
constexpr int kTerminateHandlerFrames = 1;

// Everything the signal handler reads, filled in by installCrashHandlers while no handler
// can run, as C strings so that the handler needs no allocation.
struct SignalReportContext {
    char pendingPath[kPathCapacity];
    char partialPath[kPathCapacity];
    char eventId[33];
    char release[kTextCapacity];
    std::size_t releaseSize;
    timespec fallbackTime; // install time, used if the clock cannot be read
};

SignalReportContext g_context{};
std::atomic<bool> g_reportStarted{false};
std::atomic<const CrashReporter*> g_reporter{nullptr};
// SIGSEGV from a stack overflow needs a stack of its own to run the handler on.
alignas(16) char g_alternateStack[64 * 1024];

static_assert(std::atomic<bool>::is_always_lock_free, "the flag is read in a signal handler");

bool copyCString(char* target, std::size_t capacity, const QByteArray& source) {
    if (static_cast<std::size_t>(source.size()) >= capacity || source.contains('\0')) {
        return false;
    }
    std::memcpy(target, source.constData(), static_cast<std::size_t>(source.size()) + 1);
    return true;
}

const FatalSignal* findFatalSignal(int number) {
    for (const FatalSignal& candidate : kFatalSignals) {
        if (candidate.number == number) {
            return &candidate;
        }
    }
    return nullptr;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

void writeSignalFrames(SignalSafeJsonWriter& json, void* const* callerFirst, int count) {
    if (count <= 0) {
        return;
    }
    const FdCloser symbols{::memfd_create("ivra-frames", MFD_CLOEXEC)};
    if (symbols.fd < 0) {
        return;
    }
    ::backtrace_symbols_fd(callerFirst, count, symbols.fd);
    if (::lseek(symbols.fd, 0, SEEK_SET) != 0) {
        return;
    }
    bool first = true;
    forEachLine<kFrameLineCapacity>(symbols.fd, [&](const char* line, std::size_t size) {
        json.raw(first ? "{\"function\":" : ",{\"function\":");
        json.string(line, size, CrashEvent::kMaxFrameCharacters);
        json.raw("}");
        first = false;
    });
}

// Where the signal interrupted the program, or 0 where the machine context is not known.
std::uintptr_t interruptedAddress(const void* context) {
    const auto* machine = static_cast<const ucontext_t*>(context);
    if (machine == nullptr) {
        return 0;
    }
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.pc);
#else
    return 0;
#endif
}

// Async-signal-safe from here on: the report is built by hand into a partial file that
// takes the pending report's name only when complete.
[[gnu::noinline]] void writeSignalReport(const FatalSignal& signal, const siginfo_t* info,
                                         const void* context) {
    void* innermostFirst[kMaxSignalHandlerFrames + CrashEvent::kMaxFrames];
    const int captured = ::backtrace(innermostFirst, static_cast<int>(std::size(innermostFirst)));
    // The interrupted frame is the first one to keep; what lies above it is the handler.
    int firstKept = std::min(kSignalHandlerFrames, captured);
    const std::uintptr_t interrupted = interruptedAddress(context);
    for (int i = 0; i < std::min(captured, kMaxSignalHandlerFrames + 1); ++i) {
        if (interrupted != 0 &&
            reinterpret_cast<std::uintptr_t>(innermostFirst[i]) == interrupted) {
            firstKept = i;
            break;
        }
    }
    void* callerFirst[CrashEvent::kMaxFrames];
    int frameCount = 0;
    for (int i = std::min(captured, firstKept + CrashEvent::kMaxFrames) - 1; i >= firstKept; --i) {
        callerFirst[frameCount++] = innermostFirst[i];
    }

    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) {
        now = g_context.fallbackTime;
    }

    const FdCloser report{
        ::open(g_context.partialPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (report.fd < 0) {
        return;
    }
    SignalSafeJsonWriter json(report.fd);
    json.raw("{\"event_id\":\"");
    json.raw(g_context.eventId);
    json.raw("\",\"timestamp\":");
    json.number(static_cast<std::uint64_t>(now.tv_sec));
    json.raw(".");
    json.number(static_cast<std::uint64_t>(now.tv_nsec / 1000), 6);
    json.raw(",\"platform\":\"cocoa\",\"level\":\"error\",\"release\":");
    json.string(g_context.release, g_context.releaseSize, kTextCapacity);
    json.raw(",\"exception\":{\"values\":[{\"type\":\"");
    json.raw(signal.name);
    json.raw("\",\"value\":\"");
    json.raw(signal.description);
    // The address means something only when the kernel raised the signal for a fault,
    // not when another process sent it.
    if ((signal.number == SIGSEGV || signal.number == SIGBUS) && info != nullptr &&
        info->si_code > 0) {
        json.raw(" at address ");
        json.hex(reinterpret_cast<std::uintptr_t>(info->si_addr));
    }
    json.raw("\",\"stacktrace\":{\"frames\":[");
    writeSignalFrames(json, callerFirst, frameCount);
    json.raw("]}}]}}");
    const bool written = json.finish() && ::fsync(report.fd) == 0;
    if (!written || ::rename(g_context.partialPath, g_context.pendingPath) != 0) {
        ::unlink(g_context.partialPath);
    }
}

void onFatalSignal(int number, siginfo_t* info, void* context) {
    // Only the first fatal error of the process writes; a second one (another thread, or
    // the abort() that ends the terminate path) goes straight to the default action.
    if (!g_reportStarted.exchange(true)) {
        if (const FatalSignal* signal = findFatalSignal(number)) {
            writeSignalReport(*signal, info, context);
        }
    }
    // Die of the same signal so that exit status and core dumps stay truthful.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(number, &fallback, nullptr);
    ::raise(number);
}

QString demangled(const char* name) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return QString::fromUtf8(status == 0 && readable ? readable.get() : name);
}

// The type and reason of the exception being handled, or a description of a terminate
// call without one.
std::pair<QString, QString> describeCurrentException() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        return {QStringLiteral("std::terminate"),
                QStringLiteral("terminate called without an active exception")};
    }
    QString reason;
    try {
        std::rethrow_exception(std::current_exception());
    } catch (const std::exception& exception) {
        reason = QString::fromUtf8(exception.what());
    } catch (...) {
    }
    if (reason.isEmpty()) {
        reason = QStringLiteral("uncaught exception");
    }
    return {demangled(type->name()), reason};
}

[[noreturn]] void onTerminate() {
    if (!g_reportStarted.exchange(true)) {
        if (const CrashReporter* reporter = g_reporter.load()) {
            try {
                const auto [type, value] = describeCurrentException();
                reporter->writeReport(type, value, currentCallStack(kTerminateHandlerFrames),
                                      ReportLevel::Error);
            } catch (...) {
                // Out of memory while reporting: die without a report.
            }
        }
    }
    std::abort();
}

bool prepareSignalContext(const CrashReporter& reporter) {
    const QByteArray pending = QFile::encodeName(reporter.pendingPath());
    const QByteArray release =
        QStringLiteral("ivra@%1").arg(versionOrZero(reporter.config().version)).toUtf8();
    if (!copyCString(g_context.pendingPath, kPathCapacity, pending) ||
        !copyCString(g_context.partialPath, kPathCapacity, pending + ".partial") ||
        !copyCString(g_context.eventId, sizeof g_context.eventId, newEventId().toLatin1()) ||
        !copyCString(g_context.release, kTextCapacity, release)) {
        return false;
    }
    g_context.releaseSize = static_cast<std::size_t>(release.size());
    ::clock_gettime(CLOCK_REALTIME, &g_context.fallbackTime);
    return true;
}

} // namespace

[[gnu::noinline]] QStringList currentCallStack(int skippedInnermost) {
    void* addresses[kMaxCapturedFrames];
    const int captured = ::backtrace(addresses, kMaxCapturedFrames);
    const std::unique_ptr<char*, decltype(&std::free)> symbols(
        ::backtrace_symbols(addresses, captured), &std::free);
    QStringList lines;
    if (!symbols) {
        return lines;
    }
    // +1: this function's own frame.
    for (int i = captured - 1; i >= skippedInnermost + 1; --i) {
        lines.append(QString::fromUtf8(symbols.get()[i]));
    }
    return lines;
}

bool installCrashHandlers(const CrashReporter& reporter) {
    // The terminate path may allocate; it keeps its own copy of the reporter for the rest
    // of the process's life. A replaced copy is left alive: a handler may be reading it.
    g_reporter.store(new CrashReporter(reporter));
    std::set_terminate(onTerminate);

    if (!prepareSignalContext(reporter)) {
        return false;
    }
    // backtrace() loads the unwinder on first use, which allocates: do that now.
    void* warmUp[1];
    ::backtrace(warmUp, 1);

    stack_t alternate{};
    alternate.ss_sp = g_alternateStack;
    alternate.ss_size = sizeof g_alternateStack;
    ::sigaltstack(&alternate, nullptr);

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    ::sigemptyset(&action.sa_mask);
    bool installed = true;
    for (const FatalSignal& signal : kFatalSignals) {
        installed = ::sigaction(signal.number, &action, nullptr) == 0 && installed;
    }
    return installed;
}

} // namespace ivra::diagnostics
