#include "app/core/remote_server.h"

#include "app/core/remote_access.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <utility>

namespace vesper::remote {

namespace {

// The web page's files: the only paths served outside /api.
struct StaticFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr StaticFile kStaticFiles[] = {
    {"/", ":/remote/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/remote/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/remote/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/remote/app.css", "text/css; charset=utf-8"},
};

// Answers written by the guards themselves, before the HTTP server sees the
// request; the connection closes after them.
QByteArray plainAnswer(const char* statusLine, const QByteArray& reason) {
    const QByteArray body = "{\"error\":\"" + reason + "\"}";
    return QByteArray("HTTP/1.1 ") + statusLine +
           "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}
const QByteArray kTooLarge = plainAnswer("413 Payload Too Large", "the request is too large");
const QByteArray kBusy = plainAnswer("503 Service Unavailable", "too many connections, retry");

// Accepts connections up to the bound and watches each one's bytes and time.
class Listener : public QTcpServer {
public:
    Listener(const Limits& limits, QObject* parent) : QTcpServer(parent), m_limits(limits) {}

    QSslConfiguration tls;
    bool useTls = false;
    int open = 0;

protected:
    void incomingConnection(qintptr descriptor) override {
        QTcpSocket* socket = useTls ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (open >= m_limits.maxConnections) {
            // Never handed to the HTTP server: answered and closed here.
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(kBusy);
            socket->disconnectFromHost();
            return;
        }
        // A connection stops counting as soon as it is closed, whoever closed
        // it; the socket goes with the next turn of the event loop.
        ++open;
        auto counted = std::make_shared<bool>(true);
        auto release = [this, counted] {
            if (std::exchange(*counted, false)) --open;
        };
        connect(socket, &QAbstractSocket::disconnected, this, release);
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, release);
        watch(socket);
        if (useTls) {
            auto* ssl = static_cast<QSslSocket*>(socket);
            ssl->setSslConfiguration(tls);
            connect(ssl, &QSslSocket::sslErrors, ssl, [ssl](const QList<QSslError>&) { ssl->abort(); });
            ssl->startServerEncryption();
        }
        addPendingConnection(socket);
    }

private:
    void watch(QTcpSocket* socket) {
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(m_limits.idleMs);
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        deadline->setInterval(m_limits.requestMs);
        auto pending = std::make_shared<qint64>(0);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        // Connected before the HTTP server's own handler, so this one sees
        // the bytes first.
        connect(socket, &QIODevice::readyRead, socket, [=, this] {
            idle->start();
            if (!deadline->isActive()) deadline->start();
            *pending += socket->bytesAvailable();
            if (*pending > m_limits.maxRequestBytes) {
                socket->write(kTooLarge);
                socket->flush();
                socket->abort();
            }
        });
        connect(socket, &QIODevice::bytesWritten, socket, [=] {
            // An answer went out: the next request starts afresh.
            idle->start();
            deadline->stop();
            *pending = 0;
        });
        idle->start();
    }

    Limits m_limits;
};

QByteArray bearer(const QHttpServerRequest& request) {
    const QByteArray value = request.value("Authorization").trimmed();
    if (!value.startsWith("Bearer ")) return {};
    return value.mid(7).trimmed();
}

// A browser names the page's origin; it must be this server's own.
bool foreignOrigin(const QHttpServerRequest& request) {
    const QByteArray origin = request.value("Origin");
    if (origin.isEmpty()) return false;
    const QUrl url(QString::fromLatin1(origin));
    const QByteArray host = request.value("Host");
    return !url.isValid() || host.isEmpty() || url.authority().toLatin1() != host;
}

QByteArray methodName(QHttpServerRequest::Method m) {
    switch (m) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    default: return "OTHER";
    }
}

} // namespace

RemoteServer::RemoteServer(Handler api, QByteArray tokenHash, Limits limits, QObject* parent)
    : QAbstractHttpServer(parent), m_api(std::move(api)), m_tokenHash(std::move(tokenHash)), m_limits(limits) {}

bool RemoteServer::start(const QHostAddress& address, quint16 port, const QString& certificate,
                         const QString& privateKey, QString* error) {
    auto* listener = new Listener(m_limits, this);
    if (!certificate.isEmpty() || !privateKey.isEmpty()) {
        QFile certFile(certificate), keyFile(privateKey);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            if (error) *error = "the HTTPS certificate or key cannot be read: " + certificate + ", " + privateKey;
            delete listener;
            return false;
        }
        const QSslCertificate cert(certFile.readAll(), QSsl::Pem);
        const QByteArray keyPem = keyFile.readAll();
        QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
        if (key.isNull()) key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
        if (cert.isNull() || key.isNull()) {
            if (error) *error = "the HTTPS certificate or key is not a PEM certificate and key: " + certificate;
            delete listener;
            return false;
        }
        listener->tls = QSslConfiguration::defaultConfiguration();
        listener->tls.setLocalCertificate(cert);
        listener->tls.setPrivateKey(key);
        listener->tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        listener->useTls = true;
    }
    listener->setMaxPendingConnections(m_limits.maxConnections);
    if (!listener->listen(address, port)) {
        if (error) *error = listener->errorString();
        delete listener;
        return false;
    }
    m_listener = listener;
    bind(listener);
    return true;
}

quint16 RemoteServer::port() const { return m_listener ? m_listener->serverPort() : 0; }

int RemoteServer::openConnections() const { return m_listener ? static_cast<Listener*>(m_listener)->open : 0; }

Reply RemoteServer::error(int status, const QString& reason) {
    return Reply{status, QJsonDocument(QJsonObject{{"error", reason}}).toJson(QJsonDocument::Compact)};
}

Reply RemoteServer::answer(const QHttpServerRequest& request) const {
    const QUrl url = request.url();
    const QString path = url.path(QUrl::FullyDecoded);
    const QByteArray method = methodName(request.method());
    if (foreignOrigin(request)) return error(403, "requests from another origin are refused");
    if (!path.startsWith("/api/") && path != "/api") {
        if (method != "GET" && method != "HEAD") return error(405, "the page's files are only read");
        for (const StaticFile& f : kStaticFiles) {
            if (path != QLatin1String(f.path)) continue;
            QFile file(QString::fromLatin1(f.resource));
            if (!file.open(QIODevice::ReadOnly)) break;
            return Reply{200, file.readAll(), f.type};
        }
        return error(404, "no such page");
    }
    if (!tokenMatches(bearer(request), m_tokenHash)) return error(401, "a valid access token is needed");
    return m_api(Request{method, path, url.query(QUrl::FullyDecoded), request.body()});
}

bool RemoteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    Reply r;
    try {
        r = answer(request);
    } catch (const std::exception& e) {
        r = error(500, QString::fromStdString(e.what()));
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    const auto status = static_cast<QHttpServerResponder::StatusCode>(r.status);
    // Never cached, never sniffed, never framed; the page loads only its own
    // files. No Access-Control-Allow-Origin: other origins stay closed.
    if (r.status == 401)
        responder.write(r.body,
                        {{"Content-Type", r.contentType},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"WWW-Authenticate", "Bearer"}},
                        status);
    else
        responder.write(r.body,
                        {{"Content-Type", r.contentType},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"X-Frame-Options", "DENY"},
                         {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"}},
                        status);
    return true;
}

void RemoteServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket)
        .write(error(404, "no such page").body, {{"Content-Type", "application/json"}},
               QHttpServerResponder::StatusCode::NotFound);
}

} // namespace vesper::remote
