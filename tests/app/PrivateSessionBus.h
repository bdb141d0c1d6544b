#pragma once

#include <QProcess>
#include <QString>
#include <QtGlobal>

namespace ivra::test {

// A session bus of the test's own. Ivra is one per bus, so tests that run at the same time
// must not share one; this process and every process it starts use this bus.
class PrivateSessionBus {
public:
    PrivateSessionBus() = default;
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;
    ~PrivateSessionBus() {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    bool start() {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000)) {
            return false;
        }
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        return !m_address.isEmpty();
    }
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace ivra::test
