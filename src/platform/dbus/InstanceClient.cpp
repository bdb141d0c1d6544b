#include "platform/dbus/InstanceClient.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include <dbus/dbus.h>

#include "platform/dbus/InstanceBusNames.h"

namespace ivra::platform {

namespace {

// Private connections are ours to close before the last reference goes.
struct ConnectionRelease {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionRelease>;

struct MessageRelease {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageRelease>;

class Error {
public:
    Error() { dbus_error_init(&m_error); }
    ~Error() { dbus_error_free(&m_error); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;

    DBusError* get() { return &m_error; }
    bool hasName(const char* name) const { return dbus_error_has_name(&m_error, name); }
    QString message() const {
        return QString::fromUtf8(m_error.message ? m_error.message : m_error.name);
    }

private:
    DBusError m_error;
};

InstanceClient::Result result(InstanceClient::Outcome outcome, QString message = {}) {
    return {outcome, std::move(message)};
}

// A method call of HandleCommandLine(as arguments, s workingDirectory).
Message commandLineCall(const QStringList& arguments, const QString& workingDirectory) {
    Message call(dbus_message_new_method_call(instance::kServiceName, instance::kObjectPath,
                                              instance::kInterface, instance::kHandleCommandLine));
    if (!call) {
        return nullptr;
    }
    // Ivra is not started by the bus: without a running copy the caller starts one itself.
    dbus_message_set_auto_start(call.get(), FALSE);

    // QString::toUtf8 always gives valid UTF-8, which libdbus insists on.
    std::vector<QByteArray> encoded;
    encoded.reserve(arguments.size());
    for (const QString& argument : arguments) {
        encoded.push_back(argument.toUtf8());
    }
    const QByteArray folder = workingDirectory.toUtf8();

    DBusMessageIter iter;
    DBusMessageIter array;
    dbus_message_iter_init_append(call.get(), &iter);
    if (!dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING,
                                          &array)) {
        return nullptr;
    }
    for (const QByteArray& argument : encoded) {
        const char* text = argument.constData();
        if (!dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &text)) {
            dbus_message_iter_abandon_container(&iter, &array);
            return nullptr;
        }
    }
    const char* folderText = folder.constData();
    if (!dbus_message_iter_close_container(&iter, &array) ||
        !dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &folderText)) {
        return nullptr;
    }
    return call;
}

} // namespace

InstanceClient::Result InstanceClient::forwardCommandLine(const QStringList& arguments,
                                                          const QString& workingDirectory,
                                                          int timeoutMs) {
    // libdbus would otherwise fall back to auto-launching a bus of its own, which
    // outlives us and that no other program uses.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || *address == '\0') {
        return result(Outcome::NoSessionBus);
    }
    Error error;
    Connection connection(dbus_connection_open_private(address, error.get()));
    if (!connection) {
        return result(Outcome::NoSessionBus, error.message());
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (!dbus_bus_register(connection.get(), error.get())) {
        return result(Outcome::NoSessionBus, error.message());
    }

    const Message call = commandLineCall(arguments, workingDirectory);
    if (!call) {
        return result(Outcome::Failed, QStringLiteral("out of memory"));
    }
    const Message reply(dbus_connection_send_with_reply_and_block(connection.get(), call.get(),
                                                                  timeoutMs, error.get()));
    if (reply) {
        return result(Outcome::Delivered);
    }
    if (error.hasName(DBUS_ERROR_NAME_HAS_NO_OWNER) || error.hasName(DBUS_ERROR_SERVICE_UNKNOWN)) {
        return result(Outcome::NoInstance);
    }
    if (error.hasName(instance::kRequestFailedError)) {
        return result(Outcome::Refused, error.message());
    }
    return result(Outcome::Failed, error.message());
}

} // namespace ivra::platform
