#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>

namespace ivra::test {

// A minimal HTTP/1.1 server on 127.0.0.1 that records every request it is sent. It answers
// "200 OK", or never answers when told to stay silent (an endpoint that hangs).
class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit LocalHttpServer(bool answers = true);

    bool listen();
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    const QList<Request>& requests() const { return m_requests; }
    int connectionCount() const { return m_connectionCount; }

private:
    void onNewConnection();

    QTcpServer m_server;
    bool m_answers;
    QList<Request> m_requests;
    int m_connectionCount = 0;
};

} // namespace ivra::test
