#pragma once

#include <QStringList>

namespace ivra {
class CrashReporter;
}

namespace ivra::diagnostics {

// Sets the process's terminate handler and its handlers for SIGSEGV, SIGBUS, SIGFPE,
// SIGILL and SIGABRT so that they write a report through `reporter`'s folder. Everything
// the signal path needs is prepared here, since the handler itself may not allocate.
// Calling it again replaces the reporter. False when the signal handlers could not be set
// (the terminate handler is set in any case).
bool installCrashHandlers(const CrashReporter& reporter);

// The current thread's call stack as symbol lines, caller first, leaving out the
// `skippedInnermost` innermost frames (the caller's own).
QStringList currentCallStack(int skippedInnermost);

} // namespace ivra::diagnostics
