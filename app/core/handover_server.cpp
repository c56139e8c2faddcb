#include "app/core/handover_server.h"

#include "platform/handover/handover_protocol.h"

#include "platform/paths.h"

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <functional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesper {

namespace {

// More clients at once than any sender needs; beyond it new ones are dropped
// so a flood cannot use up the program's file handles.
constexpr int kMaxOpenClients = 16;

bool peerIsUser(QLocalSocket* socket) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    const int fd = static_cast<int>(socket->socketDescriptor());
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::getuid();
}

// One client: reads the length, then the text, answers one byte and closes.
class Client : public QObject {
public:
    Client(QLocalSocket* socket, HandoverServer* server, int timeoutMs, std::function<void(const QString&)> deliver)
        : QObject(server), m_socket(socket), m_deliver(std::move(deliver)) {
        socket->setParent(this);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { finish(); });
        m_timer.start(timeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this] { readSome(); });
        connect(socket, &QLocalSocket::disconnected, this, [this] { finish(); });
        readSome();
    }

private:
    void readSome() {
        if (m_done) return;
        if (m_expected < 0) {
            if (m_socket->bytesAvailable() < 4) return;
            unsigned char head[4];
            m_socket->read(reinterpret_cast<char*>(head), 4);
            const uint32_t n = handover::decodeLength(head);
            if (n > handover::kHandOverMaxBytes) return answer(handover::kRefused);
            if (n == 0) return answer(handover::kAlive);
            m_expected = static_cast<qint64>(n);
            m_text.reserve(m_expected);
        }
        m_text += m_socket->read(m_expected - m_text.size());
        if (m_text.size() < m_expected) return;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString document = utf8.decode(m_text);
        if (utf8.hasError()) return answer(handover::kRefused);
        answer(handover::kAccepted);
        // Delivered after the answer is on its way: the sender never waits
        // for what the window does with it.
        m_deliver(document);
    }

    void answer(char byte) {
        m_socket->write(&byte, 1);
        m_socket->flush();
        finish();
    }

    void finish() {
        if (m_done) return;
        m_done = true;
        m_timer.stop();
        m_socket->disconnectFromServer();
        if (m_socket->state() != QLocalSocket::UnconnectedState) m_socket->abort();
        deleteLater();
    }

    QLocalSocket* m_socket;
    std::function<void(const QString&)> m_deliver;
    QTimer m_timer;
    QByteArray m_text;
    qint64 m_expected = -1;
    bool m_done = false;
};

bool someoneAnswers(const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    const bool alive = probe.waitForConnected(500);
    probe.abort();
    return alive;
}

} // namespace

HandoverServer::HandoverServer(QObject* parent)
    : QObject(parent), m_clientTimeoutMs(handover::kHandOverClientSeconds * 1000) {}

HandoverServer::~HandoverServer() { close(); }

bool HandoverServer::listen() {
    close();
    const std::string path = instanceRuntimePath(handover::kSocketName);
    if (path.empty()) return false;
    m_path = QString::fromStdString(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        // Only ever remove our own socket, and only when nobody serves it.
        if (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid() || someoneAnswers(m_path)) return false;
        ::unlink(path.c_str());
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxOpenClients);
    if (!m_server->listen(m_path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    ::chmod(path.c_str(), 0600);
    connect(m_server, &QLocalServer::newConnection, this, &HandoverServer::onNewConnection);
    return true;
}

QString HandoverServer::serverPath() const { return m_path; }

void HandoverServer::close() {
    if (!m_server) return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
}

void HandoverServer::onNewConnection() {
    while (m_server && m_server->hasPendingConnections()) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        if (!socket) break;
        if (m_openClients >= kMaxOpenClients || !peerIsUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_openClients;
        QPointer<HandoverServer> self(this);
        auto* client = new Client(socket, this, m_clientTimeoutMs, [self](const QString& document) {
            if (self) emit self->documentReceived(document);
        });
        connect(client, &QObject::destroyed, this, [this] { --m_openClients; });
    }
}

} // namespace vesper
