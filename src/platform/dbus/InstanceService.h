#pragma once

#include <functional>
#include <optional>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>

#include "app/CommandLine.h"

namespace ivra::platform {

// Makes this process the one running Ivra: owns the name org.vantrel.Ivra on the session
// bus and takes requests at /org/vantrel/Ivra, interface org.vantrel.Ivra:
//
//   CaptureArea()  CaptureWindow()  CaptureFullScreen()  CaptureText()
//   Edit(s absolutePath)  OpenSettings()  OpenRecordingSetup()
//   HandleCommandLine(as arguments, s workingDirectory)   (what a second `ivra` sends)
//
// Each request becomes the LaunchOptions of the matching command line and goes to the
// handler; the message the handler returns comes back to the caller as a D-Bus error.
class InstanceService final : public QDBusVirtualObject {
    Q_OBJECT
public:
    // A message for the caller when the request cannot be done, nothing when it was.
    using Handler = std::function<std::optional<QString>(const LaunchOptions&)>;

    enum class Claim {
        Claimed,       // this process is the running Ivra
        HeldElsewhere, // another Ivra owns the name
        Unavailable,   // no session bus: there is no single-instance guarantee
    };

    explicit InstanceService(QObject* parent = nullptr);
    // Releases the name and answers requests still waiting, so no caller hangs.
    ~InstanceService() override;

    // Exports the object and asks for the name without queueing for it. Never starts a
    // bus: without DBUS_SESSION_BUS_ADDRESS the claim is Unavailable.
    Claim claim();

    // Requests are answered from now on. Those that came earlier (during start-up) waited,
    // and are handled now in the order they came.
    void startHandling(Handler handler);

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

private:
    void receive(const QDBusMessage& message);
    QDBusMessage answer(const QDBusMessage& message) const;

    std::optional<QDBusConnection> m_connection;
    Handler m_handler;
    QList<QDBusMessage> m_waiting;
};

} // namespace ivra::platform
