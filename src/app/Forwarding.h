#pragma once

#include <cstdio>
#include <optional>

#include <QString>
#include <QStringList>

#include "app/CommandLine.h"

namespace ivra {

// The process's arguments without the program name.
QStringList argumentsOf(int argc, char** argv);
// Writes to a standard stream at once.
void print(FILE* stream, const QString& text);
// Whether a display of any kind was given to this process.
bool hasGraphicalSession();

// Says on stderr that `argument` is ignored, and returns true. Before Qt has taken its own
// options out (`afterQt` false), an argument with a single dash may be one of Qt's
// (-platform, -style): then nothing is said and the result is false.
bool reportUnknownArgument(const QString& argument, bool afterQt = false);

// Whether a request is worth offering to a running Ivra: everything but the modes that
// answer and end by themselves (help, version, recognition, renders, the self-test) or
// that cannot run at all.
bool forwardsToRunningIvra(const LaunchOptions& options);

// Says once per process, on stderr, that without a session bus a second ivra will not find
// this one.
void warnOnceWithoutSessionBus();

// Hands the request to the Ivra that is already running. An exit status when it was
// handed over (or the running Ivra could not do it), nothing when this process is to
// become the running Ivra. Without a session bus it warns (once), unless `quietWithoutBus`.
std::optional<int> forwardToRunningIvra(const QStringList& arguments, const LaunchOptions& options,
                                        bool quietWithoutBus = false);

} // namespace ivra
