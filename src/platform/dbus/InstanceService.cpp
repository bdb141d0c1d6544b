#include "platform/dbus/InstanceService.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QMetaObject>

#include "platform/dbus/InstanceBusNames.h"

namespace ivra::platform {

namespace {

// Methods without arguments, each the same as one switch of the command line.
struct SwitchMethod {
    const char* member;
    const char* argument;
};

constexpr SwitchMethod kSwitchMethods[] = {
    {"CaptureArea", "--area"},
    {"CaptureWindow", "--window"},
    {"CaptureFullScreen", "--full-screen"},
    {"CaptureText", "--ocr"},
    {"OpenSettings", "--open-settings"},
    {"OpenRecordingSetup", "--open-recording-setup"},
};

constexpr char kEdit[] = "Edit";

const SwitchMethod* switchMethod(const QString& member) {
    for (const SwitchMethod& method : kSwitchMethods) {
        if (member == QLatin1String(method.member)) {
            return &method;
        }
    }
    return nullptr;
}

bool isOurMethod(const QDBusMessage& message) {
    const QString interface = message.interface();
    const QString member = message.member();
    return message.type() == QDBusMessage::MethodCallMessage &&
           (interface.isEmpty() || interface == QLatin1String(instance::kInterface)) &&
           (switchMethod(member) || member == QLatin1String(kEdit) ||
            member == QLatin1String(instance::kHandleCommandLine));
}

// A request as the command line that asks for the same, or why the call is malformed.
struct Request {
    LaunchOptions options;
    QString invalidBecause;
};

Request invalid(QString reason) {
    return {{}, std::move(reason)};
}

Request requestOf(const QDBusMessage& message) {
    const QString member = message.member();
    const QString signature = message.signature();
    const QList<QVariant> arguments = message.arguments();
    if (const SwitchMethod* method = switchMethod(member)) {
        if (!signature.isEmpty()) {
            return invalid(QStringLiteral("%1 takes no arguments").arg(member));
        }
        return {parseCommandLine({QLatin1String(method->argument)}), {}};
    }
    if (member == QLatin1String(kEdit)) {
        if (signature != QLatin1String("s")) {
            return invalid(QStringLiteral("Edit takes one string, the image file's path"));
        }
        const QString path = arguments.at(0).toString();
        if (!QDir::isAbsolutePath(path)) {
            return invalid(QStringLiteral("Edit needs an absolute path, not '%1'").arg(path));
        }
        return {parseCommandLine({QStringLiteral("--edit"), path}), {}};
    }
    if (signature != QLatin1String("ass")) {
        return invalid(QStringLiteral("HandleCommandLine takes the arguments (as) and the "
                                      "working directory (s)"));
    }
    LaunchOptions options = parseCommandLine(arguments.at(0).toStringList());
    const QString workingDirectory = arguments.at(1).toString();
    // The caller's relative file names mean something only in the caller's folder.
    if (options.editFile && !QDir::isAbsolutePath(*options.editFile)) {
        if (!QDir::isAbsolutePath(workingDirectory)) {
            return invalid(QStringLiteral("'%1' is relative, and the working directory '%2' "
                                          "is not absolute")
                               .arg(*options.editFile, workingDirectory));
        }
        options.editFile = QDir::cleanPath(QDir(workingDirectory).filePath(*options.editFile));
    }
    return {std::move(options), {}};
}

} // namespace

InstanceService::InstanceService(QObject* parent)
    : QDBusVirtualObject(parent) {
}

InstanceService::~InstanceService() {
    if (!m_connection) {
        return;
    }
    for (const QDBusMessage& message : std::as_const(m_waiting)) {
        m_connection->send(message.createErrorReply(QLatin1String(instance::kRequestFailedError),
                                                    QStringLiteral("Ivra is quitting.")));
    }
    m_connection->unregisterObject(QLatin1String(instance::kObjectPath));
    m_connection->unregisterService(QLatin1String(instance::kServiceName));
}

InstanceService::Claim InstanceService::claim() {
    // Qt would otherwise auto-launch a private bus that outlives Ivra.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return Claim::Unavailable;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return Claim::Unavailable;
    }
    // The object is there before the name: a caller that finds the name finds the object.
    if (!bus.registerVirtualObject(QLatin1String(instance::kObjectPath), this)) {
        return Claim::Unavailable;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(QLatin1String(instance::kServiceName),
                                         QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(QLatin1String(instance::kObjectPath));
        return reply.isValid() ? Claim::HeldElsewhere : Claim::Unavailable;
    }
    m_connection = bus;
    return Claim::Claimed;
}

void InstanceService::startHandling(Handler handler) {
    m_handler = std::move(handler);
    const QList<QDBusMessage> waiting = std::exchange(m_waiting, {});
    for (const QDBusMessage& message : waiting) {
        m_connection->send(answer(message));
    }
}

bool InstanceService::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (!isOurMethod(message)) {
        return false; // Qt answers with an "unknown method" error
    }
    // Qt may call this on its bus thread; requests are handled where the application runs.
    QMetaObject::invokeMethod(
        this, [this, message] { receive(message); }, Qt::QueuedConnection);
    return true;
}

void InstanceService::receive(const QDBusMessage& message) {
    if (!m_connection) {
        return;
    }
    if (!m_handler) {
        m_waiting.append(message);
        return;
    }
    m_connection->send(answer(message));
}

QDBusMessage InstanceService::answer(const QDBusMessage& message) const {
    const Request request = requestOf(message);
    if (!request.invalidBecause.isEmpty()) {
        return message.createErrorReply(QDBusError::InvalidArgs, request.invalidBecause);
    }
    if (const auto error = m_handler(request.options)) {
        return message.createErrorReply(QLatin1String(instance::kRequestFailedError), *error);
    }
    return message.createReply();
}

QString InstanceService::introspect(const QString&) const {
    QString xml =
        QStringLiteral("<interface name=\"%1\">\n").arg(QLatin1String(instance::kInterface));
    for (const SwitchMethod& method : kSwitchMethods) {
        xml += QStringLiteral("  <method name=\"%1\"/>\n").arg(QLatin1String(method.member));
    }
    xml += QStringLiteral("  <method name=\"Edit\">\n"
                          "    <arg name=\"path\" type=\"s\" direction=\"in\"/>\n"
                          "  </method>\n"
                          "  <method name=\"HandleCommandLine\">\n"
                          "    <arg name=\"arguments\" type=\"as\" direction=\"in\"/>\n"
                          "    <arg name=\"workingDirectory\" type=\"s\" direction=\"in\"/>\n"
                          "  </method>\n"
                          "</interface>\n");
    return xml;
}

} // namespace ivra::platform
