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

} // namespace ivra::test
