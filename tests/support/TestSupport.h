#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ivra::test {

struct ProcessResult {
    int exitCode = -1;
    bool crashed = false;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Runs a program to its end (or kills it after timeoutMs) and collects its output.
ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         int timeoutMs = 30000);

// Reads a whole file; an empty array when it cannot be read.
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

// Starts this test program again under dbus-run-session, on a session bus of its own
// without service files: nothing starts on demand (no portal means none), and the bus ends
// with the test. Returns only in the program that already runs on that bus; call it first
// thing in main().
void runOnPrivateSessionBus(int argc, char** argv);

} // namespace ivra::test
