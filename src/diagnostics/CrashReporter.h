#pragma once

#include <QString>
#include <QStringList>

#include "diagnostics/CrashEvent.h"

namespace ivra {

// Records crashes and runs that ended without a clean exit as reports in a small folder of
// marker files, and sends a waiting report at the next start. A report is never sent by
// the run that failed.
//
// Start-up calls, in this order: flushPending(), detectHardCrash(), arm(), install().
// Termination calls markCleanExit(). Every failure is ignored: nothing is shown, retried
// or thrown.
class CrashReporter {
public:
    static constexpr const char* kSessionFileName = "session.open";
    static constexpr const char* kPendingFileName = "pending.json";
    static constexpr const char* kHardCrashType = "HardCrash";
    static constexpr const char* kHardCrashValue = "App terminated unexpectedly (no clean exit)";

    struct Config {
        QString directory;
        QString version;   // "0" is reported when empty
        QString endpoint;  // base URL of the collection service; empty: nothing is sent
        QString publicKey; // 32 lower-case hexadecimal digits
    };

    explicit CrashReporter(Config config);

    // The application's reporter: the folder "Vantrel/crash" under the XDG data location,
    // this build's version, and the build's endpoint and key, each replaced by the
    // environment variable IVRA_CRASH_ENDPOINT / IVRA_CRASH_PUBLIC_KEY when that is set.
    static CrashReporter forApplication();
    static QString defaultDirectory();

    const Config& config() const { return m_config; }
    QString sessionPath() const;
    QString pendingPath() const;

    // Sends the waiting report, if any. The file is deleted first, so a report goes out at
    // most once and a failed upload loses it. Blocks for at most 0.2 s, running the event
    // loop, while the request leaves the process.
    void flushPending() const;

    // Turns a session marker left by a run without a clean exit into a "HardCrash" report,
    // unless a report is already waiting. A marker whose process is still running belongs
    // to another copy of Ivra, not to a crash, and stays as it is.
    void detectHardCrash() const;

    // Marks this run as running: the marker names this process (its id and start time, so
    // that a later process given the same id is not taken for it). False when the marker
    // could not be written, or belongs to another run that is still going: one marker has
    // one owner, the run that marked it first.
    bool arm() const;

    // Writes a report when the process dies of an uncaught C++ exception (a terminate
    // handler) or of SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT. Afterwards the process
    // still dies the way it would have, and the session marker stays.
    bool install() const;

    // Removes the session marker when it is this process's own; called when the
    // application terminates normally. Another run's marker stays, so that its crash is
    // still noticed.
    void markCleanExit() const;

    // Writes one event to the pending report, replacing a waiting one. `frames` lists the
    // call stack caller first; only the last 40 are kept.
    bool writeReport(const QString& type, const QString& value, const QStringList& frames,
                     ReportLevel level) const;

private:
    bool ensureDirectory() const;

    Config m_config;
};

} // namespace ivra
