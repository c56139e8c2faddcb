// A small HTTP client for the remote access tests: one request per
// connection, answered while the test's event loop runs (the server may live
// in the same thread).
#pragma once

#include "platform/testing/event_loop.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <memory>

namespace vesper::test {

struct HttpAnswer {
    int status = 0; // 0: closed without an answer
    QByteArray head;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

inline QByteArray httpText(quint16 port, const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                           const QByteArray& token = {}, const QByteArray& extraHeaders = {}) {
    QByteArray r =
        method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\nConnection: close\r\n";
    if (!token.isEmpty()) r += "Authorization: Bearer " + token + "\r\n";
    if (!body.isEmpty()) r += "Content-Type: application/json\r\n";
    r += extraHeaders;
    return r + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A client that has sent its request (or part of it) and collects the answer.
class HttpExchange {
public:
    HttpExchange(quint16 port, QByteArray request) : m_request(std::move(request)) {
        QObject::connect(&socket, &QTcpSocket::connected, [this] { socket.write(m_request); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { collect(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { finished = true; });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError) {
            collect();
            finished = true;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool finished = false;
    HttpAnswer answer;
    QTcpSocket socket;

private:
    void collect() {
        m_got += socket.readAll();
        const qsizetype end = m_got.indexOf("\r\n\r\n");
        if (end < 0) return;
        answer.head = m_got.left(end);
        answer.status = m_got.mid(9, 3).toInt();
        answer.body = m_got.mid(end + 4);
        const qsizetype at = answer.head.toLower().indexOf("content-length:");
        const long long length = at < 0 ? -1 : answer.head.mid(at + 15).split('\r').first().trimmed().toLongLong();
        if (length >= 0 && answer.body.size() >= length) finished = true;
    }

    QByteArray m_request;
    QByteArray m_got;
};

inline HttpAnswer http(quint16 port, const QByteArray& request) {
    HttpExchange x(port, request);
    spinEventsUntil([&] { return x.finished; }, 120000);
    return x.answer;
}

} // namespace vesper::test
