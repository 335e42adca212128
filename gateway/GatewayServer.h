#pragma once

#include "gateway/Admission.h"
#include "gateway/GatewayCore.h"
#include "gateway/NetworkPolicy.h"

#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class QHttpServer;
class QHttpServerRequest;
class QTcpSocket;
class QWebSocket;

namespace gateway {

class AdmittingTcpServer;

// The port the gateway listens on unless told otherwise.
inline constexpr quint16 kDefaultPort = 8932;
// Bytes a browser may send on one HTTP connection before it is cut off; the
// pages are fetched with a few short GET requests.
inline constexpr qint64 kMaxHttpBytesPerConnection = 32 * 1024;
// HTTP requests and new connections per address in one window.
inline constexpr int kHttpWindowMs = 10'000;
inline constexpr int kMaxHttpRequestsPerWindow = 120;
inline constexpr int kMaxConnectionsPerWindow = 60;
// An HTTP request must have come whole, and its answer been taken, within
// this long after the connection opened or its last answer was taken; an
// idle connection is closed after as long.
inline constexpr int kRequestTimeoutMs = 5000;
// Output waiting for a WebSocket client that does not read; past it the
// client is dropped.
inline constexpr qint64 kMaxUnsentBytes = 64 * 1024;
// Bytes of a WebSocket connection read at a time, and bytes the system may
// hold for it on the way out before the gateway's own output counts.
inline constexpr qint64 kWebSocketReadBuffer = 16 * 1024;
inline constexpr int kWebSocketSendBuffer = 16 * 1024;
// Connections open at once, HTTP and WebSocket: from one address, and in all.
// The total leaves kReservedDescriptors free beyond those the process has
// open when the gateway starts, so that the seats' files and the program
// itself always have descriptors.
inline constexpr int kMaxConnectionsPerAddress = 16;
inline constexpr int kMaxConnections = 512;
inline constexpr int kReservedDescriptors = 32;

// The most connections the gateway holds open at once.
int connectionLimit();
// The web gateway: serves the pages over HTTP (QHttpServer's routes) and
// takes the pages' WebSocket connections on the same port, passing their
// messages to a GatewayCore. It answers only peers on the machine's own
// subnets, only under its own names, and holds no more than its limits.
class GatewayServer : public QObject
{
    Q_OBJECT

public:
    explicit GatewayServer(QString lessonCode = GatewayCore::newLessonCode(),
                           QObject *parent = nullptr);
    ~GatewayServer() override;

    // Listens on every interface at port (0: any free port). Returns false
    // with a message naming the port when it cannot listen.
    bool start(quint16 port = kDefaultPort);
    // Tells the pages what the last poll found (the end on mode 0), closes
    // every connection and stops listening. The lesson code and key and the
    // held seats stay for the next start.
    void stop();

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // "http://192.168.1.20:8932/"
    QString address() const;
    // The address with the lesson key, for the QR code: a page opened from
    // it signs in without the lesson code.
    QString keyAddress() const;
    // Connections open right now, HTTP and WebSocket.
    int openConnections();

    GatewayCore &core() { return m_core; }

    // How the gateway answers a request, before any route (see verdictFor()).
    Verdict verdict(const QHttpServerRequest &request);

signals:
    // Seats, connections, requests or wrong codes changed.
    void changed();

private slots:
    // Qt answers pings inside QWebSocket; its frame reader tells us.
    void pingReceived();

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QString address;
        qint64 since = 0;
        quint64 client = 0; // 0 until it is a WebSocket
    };
    bool admit(QTcpSocket *socket);
    bool evictIdle();
    void sweepConnections();
    void acceptWebSockets();
    void checkOutput(quint64 client);
    void dropNow(quint64 client);
    bool servesPeer(const QHostAddress &peer, const QHostAddress &local);
    const QList<Subnet> &subnets(bool fresh);

    GatewayCore m_core;
    std::unique_ptr<QHttpServer> m_http;
    AdmittingTcpServer *m_tcp = nullptr;
    QHash<quint64, QWebSocket *> m_sockets;
    QHash<QObject *, quint64> m_frameReaders;
    std::vector<Connection> m_connections;
    int m_connectionLimit = kMaxConnections;
    Clock m_clock = steadyClock();
    RateLimiter m_newConnections{kHttpWindowMs, kMaxConnectionsPerWindow};
    RateLimiter m_httpRequests{kHttpWindowMs, kMaxHttpRequestsPerWindow};
    QList<Subnet> m_subnets;
    qint64 m_subnetsAt = -1;
    QTimer m_sweep;
    quint64 m_nextClient = 1;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace gateway
