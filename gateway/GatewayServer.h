#pragma once

#include "gateway/GatewayCore.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QHttpServer;
class QWebSocket;

namespace gateway {

class LimitingTcpServer;

// The port the gateway listens on unless told otherwise.
inline constexpr quint16 kDefaultPort = 8932;
// Bytes a browser may send on one HTTP connection before it is cut off; the
// pages are fetched with a few short GET requests.
inline constexpr qint64 kMaxHttpBytesPerConnection = 32 * 1024;
// HTTP requests and new connections per address in one window.
inline constexpr int kHttpWindowMs = 10'000;
inline constexpr int kMaxRequestsPerWindow = 120;
inline constexpr int kMaxConnectionsPerWindow = 60;

// Whether an address belongs to a local network (private, link-local or
// loopback); the gateway serves nobody else.
bool isLocalNetworkAddress(const QHostAddress &address);
// The address to give the pupils: the first private IPv4 address of an
// interface that is up, else the loopback address.
QHostAddress lanAddress();

// The web gateway: serves the pages over HTTP (QHttpServer's routes) and
// takes the pages' WebSocket connections on the same port, passing their
// messages to a GatewayCore.
class GatewayServer : public QObject
{
    Q_OBJECT

public:
    explicit GatewayServer(QString lessonCode = GatewayCore::newLessonCode(),
                           QObject *parent = nullptr);
    ~GatewayServer() override;

    // Listens on every interface at port (0: any free port); only local
    // network addresses are served. Returns false with a message naming
    // the port when it cannot listen.
    bool start(quint16 port = kDefaultPort);
    // Tells the pages what the last poll found (the end on mode 0), closes
    // every connection and stops listening.
    void stop();

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // "http://192.168.1.20:8932/"
    QString address() const;

    GatewayCore &core() { return m_core; }

signals:
    void countsChanged();

private:
    void acceptWebSockets();

    GatewayCore m_core;
    std::unique_ptr<QHttpServer> m_http;
    LimitingTcpServer *m_tcp = nullptr;
    QHash<quint64, QWebSocket *> m_sockets;
    quint64 m_nextClient = 1;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace gateway
