// The remote access server's guards on their own, with a handler that echoes
// the request: the token, foreign origins, the page's fixed files, oversized
// and slow requests, and more connections than it takes.
#include "app/core/remote_access.h"
#include "app/core/remote_server.h"
#include "app/core/settings_store.h"
#include "app/core/tests/http_client.h"

#include <QJsonObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <list>

namespace vesper::test {
namespace {

using remote::Reply;
using remote::Request;

const QByteArray kToken = "correct-horse-battery-staple-0123456789abc";

class RemoteServerTest : public ::testing::Test {
protected:
    void startServer(remote::Limits limits = {}) {
        coreApp();
        server = std::make_unique<remote::RemoteServer>(
            [this](const Request& r) {
                ++handled;
                return Reply{200, QJsonDocument(QJsonObject{{"method", QString::fromLatin1(r.method)},
                                                            {"path", r.path},
                                                            {"body", QString::fromUtf8(r.body)}})
                                      .toJson(QJsonDocument::Compact)};
            },
            remote::hashToken(kToken), limits);
        QString error;
        ASSERT_TRUE(server->start(QHostAddress::LocalHost, 0, {}, {}, &error)) << error.toStdString();
        port = server->port();
    }
    HttpAnswer get(const QByteArray& path, const QByteArray& token = kToken, const QByteArray& extra = {}) {
        return http(port, httpText(port, "GET", path, {}, token, extra));
    }
    bool idle() {
        return spinEventsUntil([&] { return server->openConnections() == 0; });
    }

    std::unique_ptr<remote::RemoteServer> server;
    quint16 port = 0;
    int handled = 0;
};

TEST(RemoteToken, IsRandomStoredOnlyHashedAndComparedWhole) {
    const QByteArray a = remote::newToken(), b = remote::newToken();
    EXPECT_EQ(a.size(), 43); // 32 bytes, base64url without padding
    EXPECT_NE(a, b);
    EXPECT_EQ(QByteArray::fromBase64(a, QByteArray::Base64UrlEncoding).size(), 32);
    const QByteArray h1 = remote::hashToken(a), h2 = remote::hashToken(a);
    EXPECT_NE(h1, h2); // salted
    EXPECT_FALSE(h1.contains(a));
    EXPECT_TRUE(remote::tokenMatches(a, h1));
    EXPECT_TRUE(remote::tokenMatches(a, h2));
    for (const QByteArray& wrong : {b, a.left(42), a + "x", QByteArray(), QByteArray("\0", 1)})
        EXPECT_FALSE(remote::tokenMatches(wrong, h1)) << wrong.toStdString();
    for (const QByteArray& stored : {QByteArray(), QByteArray("nonsense"), QByteArray(":"), h1.left(40)})
        EXPECT_FALSE(remote::tokenMatches(a, stored)) << stored.toStdString();

    const QByteArray shown = remote::renewToken();
    const std::string stored = RegGetSetting2(remote::kKey, remote::kTokenHash, "");
    EXPECT_EQ(stored.find(shown.toStdString()), std::string::npos);
    EXPECT_TRUE(remote::tokenMatches(shown, QByteArray::fromStdString(stored)));
    EXPECT_FALSE(remote::loadSettings().enabled); // off until switched on
}

TEST_F(RemoteServerTest, ApiNeedsTheTokenAndItsOwnOrigin) {
    startServer();
    struct Case {
        const char* name;
        QByteArray token, extra;
        int status;
    } cases[] = {
        {"no token", {}, {}, 401},
        {"wrong token", "x" + kToken.mid(1), {}, 401},
        {"basic scheme", {}, "Authorization: Basic " + kToken.toBase64() + "\r\n", 401},
        {"foreign origin", kToken, "Origin: http://evil.example\r\n", 403},
        {"same origin", kToken, "Origin: http://127.0.0.1:" + QByteArray::number(port) + "\r\n", 200},
        {"right token", kToken, {}, 200},
    };
    for (const Case& c : cases) {
        const HttpAnswer a = get("/api/state", c.token, c.extra);
        EXPECT_EQ(a.status, c.status) << c.name;
        EXPECT_FALSE(a.head.toLower().contains("access-control-allow")) << c.name;
        if (c.status == 401) {
            EXPECT_TRUE(a.head.contains("WWW-Authenticate: Bearer")) << c.name;
        }
    }
    EXPECT_EQ(handled, 2);
    // A preflight gets no CORS permission either.
    const HttpAnswer preflight = http(port, httpText(port, "OPTIONS", "/api/schedule", {}, {},
                                                     "Origin: http://evil.example\r\n"
                                                     "Access-Control-Request-Method: POST\r\n"));
    EXPECT_EQ(preflight.status, 403);
}

TEST_F(RemoteServerTest, ServesOnlyThePagesOwnFiles) {
    startServer();
    EXPECT_EQ(get("/", {}).status, 200);
    EXPECT_TRUE(get("/", {}).body.contains("<title>Vesper Home - Schedule</title>"));
    EXPECT_TRUE(get("/app.js", {}).head.contains("text/javascript"));
    EXPECT_EQ(get("/app.css", {}).status, 200);
    for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/remote/index.html",
                             "/:/remote/index.html", "/index.html/", "/etc/passwd", "//app.js"})
        EXPECT_EQ(get(path, {}).status, 404) << path;
    EXPECT_EQ(http(port, httpText(port, "POST", "/index.html", "{}")).status, 405);
    EXPECT_EQ(handled, 0);
}

TEST_F(RemoteServerTest, OversizedRequestsAreRefusedAndTheServerGoesOn) {
    startServer();
    const QByteArray big(10 * 1024 * 1024, 'x');
    const HttpAnswer a = http(port, httpText(port, "POST", "/api/schedule", big, kToken));
    EXPECT_TRUE(a.status == 413 || a.status == 0) << a.status; // refused, or cut off while sending
    const QByteArray headers = "X-Filler: " + QByteArray(400 * 1024, 'y') + "\r\n";
    const HttpAnswer b = get("/api/state", kToken, headers);
    EXPECT_TRUE(b.status == 413 || b.status == 0) << b.status;
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(idle());
    EXPECT_EQ(get("/api/state").status, 200);
}

TEST_F(RemoteServerTest, SlowClientsAreCutOff) {
    remote::Limits limits;
    limits.idleMs = 200;
    limits.requestMs = 600;
    startServer(limits);
    // One stops halfway through its headers; another sends a byte at a time,
    // never idle but never done.
    HttpExchange stalled(port, "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    HttpExchange dribbling(port, "G");
    QTimer drip;
    const QByteArray rest = "ET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + QByteArray(10000, 'z');
    int sent = 0;
    QObject::connect(&drip, &QTimer::timeout, [&] {
        if (sent < rest.size() && dribbling.socket.state() == QAbstractSocket::ConnectedState)
            dribbling.socket.write(rest.mid(sent++, 1));
    });
    drip.start(50);
    // Meanwhile others are served.
    EXPECT_EQ(get("/api/state").status, 200);
    ASSERT_TRUE(spinEventsUntil([&] { return stalled.finished && dribbling.finished; }));
    EXPECT_EQ(stalled.answer.status, 0);
    EXPECT_EQ(dribbling.answer.status, 0);
    EXPECT_LT(sent, rest.size());
    EXPECT_EQ(handled, 1);
}

TEST_F(RemoteServerTest, TwoHundredParallelConnectionsAreServedOrTurnedAway) {
    remote::Limits limits;
    limits.maxConnections = 16;
    startServer(limits);
    std::list<HttpExchange> clients;
    for (int i = 0; i < 200; ++i)
        clients.emplace_back(port, httpText(port, "GET", "/api/state", {}, kToken));
    ASSERT_TRUE(spinEventsUntil(
        [&] {
            for (const HttpExchange& c : clients)
                if (!c.finished) return false;
            return true;
        },
        120000));
    int ok = 0, busy = 0, other = 0;
    for (const HttpExchange& c : clients)
        (c.answer.status == 200 ? ok : c.answer.status == 503 ? busy : other)++;
    EXPECT_GT(ok, 0);
    EXPECT_EQ(ok + busy + other, 200);
    EXPECT_EQ(ok, handled);
    for (const HttpExchange& c : clients)
        EXPECT_TRUE(c.answer.status == 200 || c.answer.status == 503 || c.answer.status == 0) << c.answer.status;
    clients.clear();
    EXPECT_TRUE(idle());
    EXPECT_EQ(get("/api/state").status, 200);
}

TEST_F(RemoteServerTest, AnAddressInUseIsReported) {
    startServer();
    remote::RemoteServer second([](const Request&) { return Reply{}; }, remote::hashToken(kToken));
    QString error;
    EXPECT_FALSE(second.start(QHostAddress::LocalHost, port, {}, {}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(second.start(QHostAddress::LocalHost, 0, "/nonexistent/cert.pem", "/nonexistent/key.pem", &error));
    EXPECT_TRUE(error.contains("cannot be read"));
}

} // namespace
} // namespace vesper::test
