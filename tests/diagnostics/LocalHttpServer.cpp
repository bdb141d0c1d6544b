#include "LocalHttpServer.h"

#include <QTcpSocket>

namespace ivra::test {

namespace {

// Parses one complete request from `buffer`; nothing while more bytes are needed.
std::optional<LocalHttpServer::Request> parseRequest(const QByteArray& buffer) {
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() < 2) {
        return std::nullopt;
    }
    LocalHttpServer::Request request;
    request.method = requestLine.at(0);
    request.path = requestLine.at(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0) {
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                   lines.at(i).mid(colon + 1).trimmed());
        }
    }
    const qsizetype bodyLength = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + bodyLength) {
        return std::nullopt;
    }
    request.body = buffer.mid(headerEnd + 4, bodyLength);
    return request;
}

} // namespace

LocalHttpServer::LocalHttpServer(bool answers)
    : m_answers(answers) {
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::onNewConnection);
}

bool LocalHttpServer::listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString LocalHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

void LocalHttpServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        const auto readRequest = [this, socket, buffer] {
            buffer->append(socket->readAll());
            const auto request = parseRequest(*buffer);
            if (!request) {
                return;
            }
            buffer->clear();
            m_requests.append(*request);
            if (m_answers) {
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            }
        };
        connect(socket, &QTcpSocket::readyRead, this, readRequest);
        // Bytes may have arrived before the connection was taken from the queue.
        readRequest();
    }
}

} // namespace ivra::test
