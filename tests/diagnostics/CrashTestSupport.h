#pragma once

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace ivra::test {

// Reading a crash report back; an empty object when the bytes are not JSON.
inline QJsonObject parseReport(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

inline QJsonObject exceptionOf(const QJsonObject& event) {
    return event["exception"].toObject()["values"].toArray().first().toObject();
}

inline QStringList functionsOf(const QJsonObject& event) {
    QStringList functions;
    for (const QJsonValue frame : exceptionOf(event)["stacktrace"].toObject()["frames"].toArray()) {
        functions.append(frame["function"].toString());
    }
    return functions;
}

// A collection endpoint on 127.0.0.1 that records what every connection sends. It never
// answers, as the reporter does not wait for an answer.
class LocalHttpServer {
public:
    struct Request {
        QByteArray head; // request line and header lines, each ending in CR LF
        QByteArray body;
    };

    bool listen() {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                const qsizetype index = m_received.size();
                m_received.append(QByteArray());
                const auto read = [this, socket, index] { m_received[index] += socket->readAll(); };
                QObject::connect(socket, &QTcpSocket::readyRead, socket, read);
                read(); // bytes may have come before the connection was taken
            }
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString baseUrl() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }
    int connectionCount() const { return static_cast<int>(m_received.size()); }
    quint16 port() const { return m_server.serverPort(); }
    // Whether a connection has sent these bytes so far.
    bool received(const QByteArray& bytes) const {
        return std::any_of(m_received.begin(), m_received.end(),
                           [&](const QByteArray& all) { return all.contains(bytes); });
    }

    // The requests that have arrived whole.
    QList<Request> requests() const {
        static const QRegularExpression length(QStringLiteral("\\ncontent-length: *(\\d+)"),
                                               QRegularExpression::CaseInsensitiveOption);
        QList<Request> complete;
        for (const QByteArray& bytes : m_received) {
            const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
            const QByteArray head = bytes.left(headEnd + 2);
            const qsizetype bodySize =
                length.match(QString::fromLatin1(head)).captured(1).toLongLong();
            if (headEnd >= 0 && bytes.size() >= headEnd + 4 + bodySize) {
                complete.append({head, bytes.mid(headEnd + 4, bodySize)});
            }
        }
        return complete;
    }

private:
    QTcpServer m_server;
    QList<QByteArray> m_received; // one entry per connection
};

} // namespace ivra::test
