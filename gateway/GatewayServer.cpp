#include "GatewayServer.h"

#include <QDir>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QHttpServerRouterRule>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

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
// Interfaces are looked at again when an address is not found among them,
// at most this often.
constexpr int kSubnetsRefreshMs = 2000;
constexpr int kConnectionSweepMs = 500;

// What the gateway keeps of an HTTP connection's input.
struct HttpIntake
{
    qint64 received = 0;
    // Answered 413: what follows is read and thrown away, up to a limit.
    bool refused = false;
    qint64 drained = 0;
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

// A route that matches only requests the gateway goes on with (see
// GatewayServer::verdict); the others reach the missing handler, which
// answers with the verdict's status.
class GatewayRule : public QHttpServerRouterRule
{
public:
    GatewayRule(GatewayServer *server, const QString &path, QHttpServerRequest::Methods methods,
                RouterHandler handler)
        : QHttpServerRouterRule(path, methods, std::move(handler)), m_server(server)
    {
    }

protected:
    bool matches(const QHttpServerRequest &request, QRegularExpressionMatch *match) const override
    {
        return QHttpServerRouterRule::matches(request, match) && m_server->verdict(request) == Verdict::Serve;
    }

private:
    GatewayServer *m_server;
};

} // namespace

int connectionLimit()
{
    qint64 limit = kMaxConnections;
#ifdef Q_OS_UNIX
    // Qt takes a failed accept() for want of descriptors as a passing
    // failure and tries again at once, for ever: the gateway must never get
    // there. (A connection refused at the limit takes one of the free ones
    // for a moment.)
    rlimit descriptors{};
    if (getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur != RLIM_INFINITY) {
        const QDir open(u"/proc/self/fd"_s);
        const qint64 inUse =
            open.exists()
                ? open.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size()
                : kReservedDescriptors;
        limit =
            std::min<qint64>(limit, qint64(descriptors.rlim_cur) - inUse - kReservedDescriptors);
    }
#endif
    return int(std::max<qint64>(limit, 1));
}

// Hands QHttpServer only the connections the gateway admits.
class AdmittingTcpServer : public QTcpServer
{
public:
    AdmittingTcpServer(std::function<bool(QTcpSocket *)> admit, QObject *parent)
        : QTcpServer(parent), m_admit(std::move(admit))
    {
    }

    QTcpSocket *nextPendingConnection() override
    {
        while (QTcpSocket *socket = QTcpServer::nextPendingConnection()) {
            if (m_admit(socket))
                return socket;
            socket->abort();
            socket->deleteLater();
        }
        return nullptr;
    }

private:
    std::function<bool(QTcpSocket *)> m_admit;
};

GatewayServer::GatewayServer(QString lessonCode, QObject *parent)
    : QObject(parent), m_core(std::move(lessonCode))
{
    initWebResources();
    // QHttpServer warns of every upgrade it turns away; a hostile page would
    // fill the log with them.
    QLoggingCategory::setFilterRules(u"qt.httpserver.warning=false"_s);
    connect(&m_core, &GatewayCore::changed, this, &GatewayServer::changed);
    m_core.setSink({[this](quint64 client, const QByteArray &message) {
                        QWebSocket *socket = m_sockets.value(client);
                        if (!socket)
                            return;
                        if (socket->bytesToWrite() + message.size() > kMaxUnsentBytes) {
                            dropNow(client);
                            return;
                        }
                        socket->sendTextMessage(QString::fromUtf8(message));
                    },
                    [this](quint64 client) {
                        QWebSocket *socket = m_sockets.value(client);
                        if (!socket)
                            return;
                        // Not from within the core's own call; a peer that
                        // does not answer the close is cut off a second later.
                        QMetaObject::invokeMethod(
                            socket,
                            [socket] {
                                socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
                                QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
                            },
                            Qt::QueuedConnection);
                    }});
    m_sweep.setInterval(kConnectionSweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &GatewayServer::sweepConnections);
}

GatewayServer::~GatewayServer()
{
    stop();
}

const QList<Subnet> &GatewayServer::subnets(bool fresh)
{
    const qint64 at = m_clock();
    if (m_subnetsAt < 0 || (fresh && at - m_subnetsAt >= kSubnetsRefreshMs)) {
        m_subnets = ownSubnets();
        m_subnetsAt = at;
    }
    return m_subnets;
}

bool GatewayServer::servesPeer(const QHostAddress &peer, const QHostAddress &local)
{
    return isServedPeer(peer, subnets(false), local) || isServedPeer(peer, subnets(true), local);
}

Verdict GatewayServer::verdict(const QHttpServerRequest &request)
{
    const RequestHead head{request.value("host"_ba), request.url().path(),
                           !request.value("upgrade"_ba).isEmpty(), request.value("origin"_ba)};
    const Verdict verdict = verdictFor(head, m_port, subnets(false));
    // An address the machine has just taken: the interfaces are read again.
    return verdict == Verdict::ForeignHost ? verdictFor(head, m_port, subnets(true)) : verdict;
}

bool GatewayServer::start(quint16 port)
{
    if (isListening())
        return true;
    m_http = std::make_unique<QHttpServer>();
    auto serve = [this](const QByteArray &mimeType, const QString &name) {
        return [this, mimeType, name](const QHttpServerRequest &request) {
            if (!m_httpRequests.allow(addressKey(request.remoteAddress()), m_clock()))
                return textResponse(u"要求が多すぎます。しばらく待ってから開き直してください。\n"_s,
                                    QHttpServerResponse::StatusCode::TooManyRequests);
            return pageResponse(mimeType, name);
        };
    };
    const auto get = QHttpServerRequest::Method::Get;
    m_http->route<GatewayRule>(this, u"/"_s, get,
                               serve("text/html; charset=utf-8"_ba, u"index.html"_s));
    m_http->route<GatewayRule>(this, u"/app.js"_s, get,
                               serve("text/javascript; charset=utf-8"_ba, u"app.js"_s));
    m_http->route<GatewayRule>(this, u"/style.css"_s, get,
                               serve("text/css; charset=utf-8"_ba, u"style.css"_s));
    // The WebSocket upgrade is taken only on a matched route; the route
    // itself answers nothing, the WebSocket handshake does.
    m_http->route<GatewayRule>(this, u"/ws"_s, get,
                               [](const QHttpServerRequest &, QHttpServerResponder &&) {});
    m_http->setMissingHandler(
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            using Status = QHttpServerResponder::StatusCode;
            const QByteArray text = "text/plain; charset=utf-8"_ba;
            switch (verdict(request)) {
            case Verdict::ForeignHost:
                responder.write("このアドレスでは受け付けていません。"
                                "先生の画面に出ているアドレスを開いてください。\n"_ba,
                                text, Status::MisdirectedRequest);
                break;
            case Verdict::UpgradeRequired:
                responder.write("WebSocket only.\n"_ba,
                                {{"Content-Type"_ba, text}, {"Upgrade"_ba, "websocket"_ba}},
                                Status::UpgradeRequired);
                break;
            case Verdict::ForeignOrigin:
                responder.write("このページからは接続できません。\n"_ba, text, Status::Forbidden);
                break;
            case Verdict::BadUpgrade:
                responder.write("Bad request.\n"_ba, text, Status::BadRequest);
                break;
            case Verdict::Serve:
                responder.write("見つかりません。\n"_ba, text, Status::NotFound);
                break;
            }
        });
    connect(m_http.get(), &QHttpServer::newWebSocketConnection, this,
            &GatewayServer::acceptWebSockets);

    m_tcp =
        new AdmittingTcpServer([this](QTcpSocket *socket) { return admit(socket); }, m_http.get());
    // Out of descriptors all the same (other programs' files): wait a moment
    // instead of trying again at once.
    connect(m_tcp, &QTcpServer::acceptError, this, [this] {
        m_tcp->pauseAccepting();
        QTimer::singleShot(kConnectionSweepMs, m_tcp, [tcp = m_tcp] { tcp->resumeAccepting(); });
    });
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
    m_connectionLimit = connectionLimit();
    m_error.clear();
    m_core.start();
    m_sweep.start();
    emit changed();
    return true;
}

void GatewayServer::stop()
{
    if (!isListening())
        return;
    // The last poll may carry the end (mode 0) to the pages; it is written
    // out before each connection is closed.
    m_core.stop();
    m_sweep.stop();
    const auto sockets = std::exchange(m_sockets, {});
    m_frameReaders.clear();
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        QWebSocket *socket = it.value();
        socket->flush();
        socket->close(QWebSocketProtocol::CloseCodeGoingAway);
        socket->disconnect(this);
        m_core.clientDisconnected(it.key());
        socket->deleteLater();
    }
    m_tcp->close();
    m_port = 0;
    m_connections.clear();
    m_http.reset();
    m_tcp = nullptr;
    emit changed();
}

QString GatewayServer::address() const
{
    return u"http://%1:%2/"_s.arg(lanAddress().toString()).arg(m_port);
}

QString GatewayServer::keyAddress() const
{
    return address() + u"#k="_s + m_core.lessonKey();
}

int GatewayServer::openConnections()
{
    std::erase_if(m_connections, [](const Connection &connection) {
        return !connection.socket ||
               connection.socket->state() == QAbstractSocket::UnconnectedState;
    });
    return int(m_connections.size());
}

bool GatewayServer::admit(QTcpSocket *socket)
{
    const QHostAddress peer = socket->peerAddress();
    const QString address = addressKey(peer);
    if (!servesPeer(peer, socket->localAddress()) || !m_newConnections.allow(address, m_clock()))
        return false;
    openConnections();
    const auto fromAddress = std::count_if(
        m_connections.begin(), m_connections.end(),
        [&address](const Connection &connection) { return connection.address == address; });
    if (fromAddress >= kMaxConnectionsPerAddress)
        return false;
    if (int(m_connections.size()) >= m_connectionLimit && !evictIdle())
        return false;
    m_connections.push_back({socket, address, m_clock(), 0});

    // Connected before the server's own handler, so it runs first; a
    // connection upgraded to a WebSocket leaves this watch (the server
    // disconnects the socket's signals) and is bounded by the WebSocket's
    // own frame, message and output limits.
    auto intake = std::make_shared<HttpIntake>();
    connect(socket, &QTcpSocket::readyRead, socket, [socket, intake] {
        if (intake->refused) {
            // Draining what the browser is still sending, so that the
            // refusal reaches it before the connection closes.
            intake->drained += socket->read(socket->bytesAvailable()).size();
            if (intake->drained > kMaxDrainBytes)
                socket->abort();
            return;
        }
        intake->received += socket->bytesAvailable();
        if (intake->received <= kMaxHttpBytesPerConnection)
            return;
        intake->refused = true;
        socket->read(socket->bytesAvailable());
        const QByteArray body = "要求が大きすぎます。\n"_ba;
        socket->write("HTTP/1.1 413 Payload Too Large\r\n"
                      "Content-Type: text/plain; charset=utf-8\r\n"
                      "Connection: close\r\n"
                      "Content-Length: "_ba +
                      QByteArray::number(body.size()) + "\r\n\r\n"_ba + body);
        QTimer::singleShot(kDrainMs, socket, [socket] { socket->disconnectFromHost(); });
    });
    // An answer taken whole: the next request has its own time.
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket->bytesToWrite() != 0)
            return;
        for (Connection &connection : m_connections) {
            if (connection.socket == socket)
                connection.since = m_clock();
        }
    });
    return true;
}

// Makes room by closing the oldest connection that holds no seat: a page's
// request, a WebSocket that has not signed in, or a request for a page.
bool GatewayServer::evictIdle()
{
    auto oldest = m_connections.end();
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
        if (it->client != 0 && m_core.hasSeat(it->client))
            continue;
        if (oldest == m_connections.end() || it->since < oldest->since)
            oldest = it;
    }
    if (oldest == m_connections.end())
        return false;
    const QPointer<QTcpSocket> socket = oldest->socket;
    const quint64 client = oldest->client;
    m_connections.erase(oldest);
    if (QWebSocket *page = m_sockets.value(client))
        page->abort();
    else if (socket)
        socket->abort();
    return true;
}

void GatewayServer::sweepConnections()
{
    const qint64 at = m_clock();
    openConnections();
    QList<QPointer<QTcpSocket>> late;
    for (const Connection &connection : m_connections) {
        if (connection.client == 0 && at - connection.since >= kRequestTimeoutMs)
            late << connection.socket;
    }
    for (const QPointer<QTcpSocket> &socket : late) {
        if (socket)
            socket->abort();
    }
    m_newConnections.forgetBefore(at);
    m_httpRequests.forgetBefore(at);
}

void GatewayServer::checkOutput(quint64 client)
{
    QWebSocket *socket = m_sockets.value(client);
    if (socket && socket->bytesToWrite() > kMaxUnsentBytes)
        dropNow(client);
}

void GatewayServer::dropNow(quint64 client)
{
    if (QWebSocket *socket = m_sockets.value(client))
        QMetaObject::invokeMethod(
            socket, [socket] { socket->abort(); }, Qt::QueuedConnection);
}

void GatewayServer::pingReceived()
{
    const quint64 client = m_frameReaders.value(sender());
    if (client == 0)
        return;
    m_core.controlFrame(client);
    checkOutput(client);
}

void GatewayServer::acceptWebSockets()
{
    while (m_http && m_http->hasPendingWebSocketConnections()) {
        QWebSocket *socket = m_http->nextPendingWebSocketConnection().release();
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(kMaxMessageBytes);
        socket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
        const QString address = addressKey(socket->peerAddress());
        // The connection it grew from, still counted against its address.
        const auto grewFrom = std::find_if(m_connections.begin(), m_connections.end(),
                                           [socket, &address](const Connection &c) {
                                               return c.socket && c.address == address &&
                                                      c.socket->peerPort() == socket->peerPort();
                                           });
        if (grewFrom == m_connections.end() || socket->requestUrl().path() != "/ws"_L1) {
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            socket->abort();
            continue;
        }
        const quint64 client = m_nextClient++;
        grewFrom->client = client;
        const QPointer<QTcpSocket> tcp = grewFrom->socket;
        tcp->setReadBufferSize(kWebSocketReadBuffer);
        tcp->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kWebSocketSendBuffer);
        // After the WebSocket has read the frames, pongs included.
        connect(tcp, &QTcpSocket::readyRead, this, [this, client] { checkOutput(client); });
        for (QObject *child : socket->children()) {
            if (child->metaObject()->indexOfSignal("pingReceived(QByteArray)") >= 0 &&
                connect(child, SIGNAL(pingReceived(QByteArray)), this, SLOT(pingReceived())))
                m_frameReaders.insert(child, client);
        }
        connect(socket, &QWebSocket::pong, this, [this, client] { m_core.controlFrame(client); });
        m_sockets.insert(client, socket);
        m_core.clientConnected(client, plainAddress(socket->peerAddress()).toString());
        connect(
            socket, &QWebSocket::textMessageReceived, this,
            [this, client](const QString &text) { m_core.handleMessage(client, text.toUtf8()); });
        connect(
            socket, &QWebSocket::binaryMessageReceived, this,
            [this, client](const QByteArray &) { m_core.handleMessage(client, QByteArrayView()); });
        connect(socket, &QWebSocket::disconnected, this, [this, client, socket, tcp] {
            m_sockets.remove(client);
            m_frameReaders.removeIf(
                [client](const auto &entry) { return entry.value() == client; });
            m_core.clientDisconnected(client);
            socket->deleteLater();
            // Nobody else frees the connection under the WebSocket.
            if (tcp)
                tcp->deleteLater();
        });
    }
}

} // namespace gateway
