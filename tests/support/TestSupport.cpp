#include "support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace ivra::test {

ProcessResult runProcess(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted(timeoutMs)) {
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void runOnPrivateSessionBus(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("IVRA_TEST_PRIVATE_BUS")) {
        return;
    }
    const QString config = QDir::temp().filePath(QStringLiteral("private-bus.conf"));
    writeFile(config, QStringLiteral(R"(<busconfig><type>session</type>
        <auth>EXTERNAL</auth><listen>unix:tmpdir=%1</listen><policy context="default">
        <allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/>
        </policy></busconfig>)")
                          .arg(QDir::tempPath())
                          .toUtf8());
    qputenv("IVRA_TEST_PRIVATE_BUS", "1");
    const QByteArray configOption = "--config-file=" + QFile::encodeName(config);
    std::vector<char*> arguments{const_cast<char*>("dbus-run-session"),
                                 const_cast<char*>(configOption.constData()),
                                 const_cast<char*>("--")};
    arguments.insert(arguments.end(), argv, argv + argc + 1);
    execvp("dbus-run-session", arguments.data());
    perror("dbus-run-session");
    std::exit(1);
}

} // namespace ivra::test
