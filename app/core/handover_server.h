// The running main program's hand-over socket: other programs (the message
// component of the listings enabler, or anything speaking its protocol) hand
// an XML program event to the main window through it. Only the user may
// connect; each document arrives as documentReceived, which the main window
// turns into its hidden box's text.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vesper {

class HandoverServer : public QObject {
    Q_OBJECT
public:
    explicit HandoverServer(QObject* parent = nullptr);
    ~HandoverServer() override;

    // Listens on instanceRuntimePath("socket"), mode 0600 in a folder only
    // the user can enter. A socket file left by a program that ended without
    // removing it is replaced; one that still answers is left alone (false).
    bool listen();
    QString serverPath() const;
    void close();

    // How long a client may take to send its document (tests shorten it).
    void setClientTimeoutMs(int ms) { m_clientTimeoutMs = ms; }

signals:
    void documentReceived(const QString& document);

private:
    void onNewConnection();

    QLocalServer* m_server = nullptr;
    QString m_path;
    int m_clientTimeoutMs;
    int m_openClients = 0;
};

} // namespace vesper
