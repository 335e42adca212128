#include "GatewayServer.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <QElapsedTimer>

using namespace Qt::StringLiterals;

// The pages live in a resource of this static library, registered by hand.
static void initWebResources()
{
    Q_INIT_RESOURCE(gateway_web);
}

namespace gateway {
namespace {

// How long and how much a refused connection is drained before it closes.
constexpr int kDrainMs = 2000;
constexpr qint64 kMaxDrainBytes = 8 * 1024 * 1024;

qint64 steadyNow()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

// Counts events per address in fixed windows.
class AddressCounter
{
public:
    AddressCounter(int windowMs, int limit) : m_windowMs(windowMs), m_limit(limit) {}

    bool allow(const QHostAddress &address)
    {
        const qint64 at = steadyNow();
        Window &window = m_windows[address.toString()];
        if (at - window.start >= m_windowMs) {
            window.start = at;
            window.count = 0;
        }
        return ++window.count <= m_limit;
    }

private:
    struct Window
    {
        qint64 start = 0;
        int count = 0;
    };
    int m_windowMs;
    int m_limit;
    QHash<QString, Window> m_windows;
};

QByteArray resourceBytes(const QString &name)
{
    QFile file(u":/gateway/web/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QHttpServerResponse pageResponse(const QByteArray &mimeType, const QString &name)
{
    QHttpServerResponse response(mimeType, resourceBytes(name));
    response.setHeader("Cache-Control"_ba, "no-store"_ba);
    response.setHeader("X-Content-Type-Options"_ba, "nosniff"_ba);
    response.setHeader("Referrer-Policy"_ba, "no-referrer"_ba);
    response.setHeader("Content-Security-Policy"_ba,
                       "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:; "
                       "frame-ancestors 'none'"_ba);
    return response;
}

QHttpServerResponse textResponse(const QString &text, QHttpServerResponse::StatusCode status)
{
    return QHttpServerResponse("text/plain; charset=utf-8"_ba, text.toUtf8(), status);
}

} // namespace

namespace {

bool isPrivateIPv4(quint32 ip)
{
    return (ip >> 24) == 10 || (ip >> 20) == ((172u << 4) | 1u) ||
           (ip >> 16) == ((192u << 8) | 168u);
}

} // namespace

bool isLocalNetworkAddress(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // also IPv4-mapped IPv6
    if (isV4) {
        const QHostAddress plain(v4);
        return plain.isLoopback() || isPrivateIPv4(v4) || plain.isLinkLocal();
    }
    return address.isLoopback() || address.isUniqueLocalUnicast() || address.isLinkLocal();
}

QHostAddress lanAddress()
{
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && isPrivateIPv4(ip.toIPv4Address()))
                return ip;
        }
    }
    return QHostAddress(QHostAddress::LocalHost);
}

// Hands QHttpServer only connections from the local network, at most so many
// per address, and cuts off a connection that sends more than a page fetch
// ever needs. A connection upgraded to a WebSocket leaves this watch (the
// server disconnects the socket's signals) and is bounded by the WebSocket's
// own frame and message limits.
class LimitingTcpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

    QTcpSocket *nextPendingConnection() override
    {
        while (QTcpSocket *socket = QTcpServer::nextPendingConnection()) {
            const QHostAddress peer = socket->peerAddress();
            if (!isLocalNetworkAddress(peer) || !m_connections.allow(peer)) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            socket->setProperty("ombraReceived", qint64(0));
            // Connected before the server's own handler, so it runs first.
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                if (socket->property("ombraRefused").toBool()) {
                    // Draining what the browser is still sending, so that the
                    // refusal reaches it before the connection closes.
                    const qint64 drained = socket->property("ombraDrained").toLongLong() +
                                           socket->read(socket->bytesAvailable()).size();
                    socket->setProperty("ombraDrained", drained);
                    if (drained > kMaxDrainBytes)
                        socket->abort();
                    return;
                }
                const qint64 received =
                    socket->property("ombraReceived").toLongLong() + socket->bytesAvailable();
                socket->setProperty("ombraReceived", received);
                if (received <= kMaxHttpBytesPerConnection)
                    return;
                socket->setProperty("ombraRefused", true);
                socket->read(socket->bytesAvailable());
                const QByteArray body = "要求が大きすぎます。\n"_ba;
                socket->write("HTTP/1.1 413 Payload Too Large\r\n"
                              "Content-Type: text/plain; charset=utf-8\r\n"
                              "Connection: close\r\n"
                              "Content-Length: "_ba +
                              QByteArray::number(body.size()) + "\r\n\r\n"_ba + body);
                QTimer::singleShot(kDrainMs, socket, [socket] { socket->disconnectFromHost(); });
            });
            return socket;
        }
        return nullptr;
    }

private:
    AddressCounter m_connections{kHttpWindowMs, kMaxConnectionsPerWindow};
};

GatewayServer::GatewayServer(QString lessonCode, QObject *parent)
    : QObject(parent), m_core(std::move(lessonCode))
{
    initWebResources();
    connect(&m_core, &GatewayCore::countsChanged, this, &GatewayServer::countsChanged);
    m_core.setSink({[this](quint64 client, const QByteArray &message) {
                        if (QWebSocket *socket = m_sockets.value(client))
                            socket->sendTextMessage(QString::fromUtf8(message));
                    },
                    [this](quint64 client) {
                        if (QWebSocket *socket = m_sockets.value(client))
                            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
                    }});
}

GatewayServer::~GatewayServer()
{
    stop();
    // The pages' sockets go before the core they report to.
    const auto sockets = m_sockets;
    m_sockets.clear();
    for (QWebSocket *socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
}

bool GatewayServer::start(quint16 port)
{
    if (isListening())
        return true;
    m_http = std::make_unique<QHttpServer>();
    auto requests = std::make_shared<AddressCounter>(kHttpWindowMs, kMaxRequestsPerWindow);
    auto serve = [requests](const QByteArray &mimeType, const QString &name) {
        return [requests, mimeType, name](const QHttpServerRequest &request) {
            if (!requests->allow(request.remoteAddress()))
                return textResponse(u"要求が多すぎます。しばらく待ってから開き直してください。\n"_s,
                                    QHttpServerResponse::StatusCode::TooManyRequests);
            return pageResponse(mimeType, name);
        };
    };
    m_http->route(u"/"_s, QHttpServerRequest::Method::Get,
                  serve("text/html; charset=utf-8"_ba, u"index.html"_s));
    m_http->route(u"/app.js"_s, QHttpServerRequest::Method::Get,
                  serve("text/javascript; charset=utf-8"_ba, u"app.js"_s));
    m_http->route(u"/style.css"_s, QHttpServerRequest::Method::Get,
                  serve("text/css; charset=utf-8"_ba, u"style.css"_s));
    // The WebSocket upgrade is taken only on a matched route; the route
    // itself answers nothing, the WebSocket handshake does.
    m_http->route(u"/ws"_s, QHttpServerRequest::Method::Get,
                  [](const QHttpServerRequest &, QHttpServerResponder &&) {});
    connect(m_http.get(), &QHttpServer::newWebSocketConnection, this,
            &GatewayServer::acceptWebSockets);

    m_tcp = new LimitingTcpServer(m_http.get());
    if (!m_tcp->listen(QHostAddress::Any, port)) {
        m_error =
            u"ポート %1 で待ち受けできません（%2）。ほかのプログラムが使っていないか確かめてください。"_s
                .arg(port)
                .arg(m_tcp->errorString());
        m_http.reset();
        m_tcp = nullptr;
        return false;
    }
    m_http->bind(m_tcp);
    m_port = m_tcp->serverPort();
    m_error.clear();
    m_core.start();
    return true;
}

void GatewayServer::stop()
{
    if (!isListening())
        return;
    // The last poll may carry the end (mode 0) to the pages; it is written
    // out before each connection is closed.
    m_core.stop();
    const auto sockets = m_sockets;
    for (QWebSocket *socket : sockets) {
        socket->flush();
        socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    }
    m_tcp->close();
    m_port = 0;
    m_http.reset();
    m_tcp = nullptr;
}

QString GatewayServer::address() const
{
    return u"http://%1:%2/"_s.arg(lanAddress().toString()).arg(m_port);
}

void GatewayServer::acceptWebSockets()
{
    while (m_http && m_http->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> owned = m_http->nextPendingWebSocketConnection();
        QWebSocket *socket = owned.release();
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(kMaxMessageBytes);
        socket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
        // Only the gateway's own page may connect: a page from elsewhere that
        // a pupil happens to open is turned away by its origin.
        const QUrl request = socket->requestUrl();
        const QString expectedOrigin = u"http://"_s + request.authority();
        if (!isLocalNetworkAddress(socket->peerAddress()) || request.path() != "/ws"_L1 ||
            socket->origin().compare(expectedOrigin, Qt::CaseInsensitive) != 0) {
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                          u"このページからは接続できません。"_s);
            continue;
        }
        const quint64 client = m_nextClient++;
        m_sockets.insert(client, socket);
        m_core.clientConnected(client, socket->peerAddress().toString());
        connect(
            socket, &QWebSocket::textMessageReceived, this,
            [this, client](const QString &text) { m_core.handleMessage(client, text.toUtf8()); });
        connect(
            socket, &QWebSocket::binaryMessageReceived, this,
            [this, client](const QByteArray &) { m_core.handleMessage(client, QByteArrayView()); });
        connect(socket, &QWebSocket::disconnected, this, [this, client, socket] {
            m_sockets.remove(client);
            m_core.clientDisconnected(client);
            socket->deleteLater();
        });
    }
}

} // namespace gateway
