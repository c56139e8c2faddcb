// The HTTP server of remote access (Qt's HTTP server module) with its guards:
// a bound on open connections, a byte limit on each request, idle and
// per-request time limits, the bearer token on every /api request, requests
// from another origin refused, and the web page's files from a fixed list
// compiled into the program. It runs in the thread that owns it; requests go
// to a handler that answers at once.
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>

class QTcpServer;

namespace vesper::remote {

struct Limits {
    int maxConnections = 32;
    qint64 maxRequestBytes = 256 * 1024; // headers and body of one request
    int idleMs = 15000;                  // no byte in either direction
    int requestMs = 20000;               // from a request's first byte to its answer
};

struct Request {
    QByteArray method; // "GET", "POST", ...
    QString path;      // decoded, without the query
    QString query;
    QByteArray body;
};

struct Reply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
};

class RemoteServer : public QAbstractHttpServer {
public:
    using Handler = std::function<Reply(const Request&)>;

    // `tokenHash`: the stored form of the token (see remote_access.h).
    RemoteServer(Handler api, QByteArray tokenHash, Limits limits = {}, QObject* parent = nullptr);

    // Listens on the address and port, over TLS when a certificate and key
    // are given. False with the reason in `error`.
    bool start(const QHostAddress& address, quint16 port, const QString& certificate, const QString& privateKey,
               QString* error);
    quint16 port() const;
    // Connections open now (for the tests).
    int openConnections() const;

    // A JSON error answer: {"error": reason}.
    static Reply error(int status, const QString& reason);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Reply answer(const QHttpServerRequest& request) const;

    Handler m_api;
    QByteArray m_tokenHash;
    Limits m_limits;
    QTcpServer* m_listener = nullptr;
};

} // namespace vesper::remote
