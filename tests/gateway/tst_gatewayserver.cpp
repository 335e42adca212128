#include "student/SeatFolder.h"

#include "exchange/ExchangeFiles.h"
#include "gateway/GatewayServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

using namespace Qt::StringLiterals;

namespace {

const QString kCode = u"730512"_s;

QStringList commandLines(int mode)
{
    return {u" %1 "_s.arg(mode), u"好きですか"_s, u"はい"_s, u"いいえ"_s, {}, {}, {}, u" 0 "_s};
}

} // namespace

// The gateway on a real port: what reaches it over HTTP and WebSocket.
class TestGatewayServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void servesOnlyItsPages_data();
    void servesOnlyItsPages();
    void oversizedRequestIsRefused();
    void signInAnswerAndEnd();
    void foreignOriginIsTurnedAway();
    void answersByHostAndUpgrade_data();
    void answersByHostAndUpgrade();
    void oversizedFrameClosesTheConnection();
    void servedPeers_data();
    void servedPeers();
    void ownHosts_data();
    void ownHosts();
    void addressKeys_data();
    void addressKeys();

private:
    std::unique_ptr<SeatFolder> m_folder;
    std::unique_ptr<gateway::GatewayServer> m_server;
    QUrl base() const { return QUrl(u"http://127.0.0.1:%1/"_s.arg(m_server->port())); }

    // Opens the socket and waits until it is connected or turned away.
    QString openSocket(QWebSocket &socket, const QString &path = u"/ws"_s)
    {
        bool settled = false;
        const auto done = [&settled] { settled = true; };
        const QMetaObject::Connection a = connect(&socket, &QWebSocket::connected, this, done);
        const QMetaObject::Connection b = connect(&socket, &QWebSocket::disconnected, this, done);
        const QMetaObject::Connection c = connect(
            &socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, done);
        socket.open(QUrl(u"ws://127.0.0.1:%1%2"_s.arg(m_server->port()).arg(path)));
        if (!QTest::qWaitFor([&settled] { return settled; }, 10000))
            socket.abort(); // neither connected nor turned away: not connected
        disconnect(a);
        disconnect(b);
        disconnect(c);
        return socket.state() == QAbstractSocket::ConnectedState ? QString() : u"not connected"_s;
    }
    static QJsonObject nextMessage(QWebSocket &socket, QSignalSpy &spy, const QString &type)
    {
        for (int round = 0; round < 20; ++round) {
            while (!spy.isEmpty()) {
                const QJsonObject message =
                    QJsonDocument::fromJson(spy.takeFirst().at(0).toString().toUtf8()).object();
                if (message.value(u"type"_s).toString() == type)
                    return message;
            }
            if (socket.state() != QAbstractSocket::ConnectedState && spy.isEmpty())
                return {};
            spy.wait(1000);
        }
        return {};
    }
};

void TestGatewayServer::init()
{
    m_folder = std::make_unique<SeatFolder>();
    for (int seat = 0; seat <= exchange::kStudentsMax; ++seat)
        QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(seat), commandLines(2)));
    m_server = std::make_unique<gateway::GatewayServer>(kCode);
    QVERIFY2(m_server->start(0), qPrintable(m_server->errorString()));
    QVERIFY(m_server->port() != 0);
    QVERIFY(m_server->address().startsWith(u"http://"_s));
}

void TestGatewayServer::cleanup()
{
    m_server.reset();
    m_folder.reset();
}

void TestGatewayServer::servesOnlyItsPages_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<int>("status");
    QTest::newRow("page") << u""_s << "GET"_ba << 200;
    QTest::newRow("script") << u"app.js"_s << "GET"_ba << 200;
    QTest::newRow("style") << u"style.css"_s << "GET"_ba << 200;
    QTest::newRow("exchange file") << u"Data/LVQ1.ini"_s << "GET"_ba << 404;
    QTest::newRow("climbing") << u"../../etc/passwd"_s << "GET"_ba << 404;
    QTest::newRow("resource path") << u"gateway/web/app.js"_s << "GET"_ba << 404;
    QTest::newRow("post") << u""_s << "POST"_ba << 404;
    QTest::newRow("put") << u"app.js"_s << "PUT"_ba << 404;
}

void TestGatewayServer::servesOnlyItsPages()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, method);
    QFETCH(int, status);
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(
        manager.sendCustomRequest(QNetworkRequest(base().resolved(QUrl(path))), method, "x"_ba));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    if (status == 200) {
        QVERIFY(reply->header(QNetworkRequest::ContentTypeHeader).toString().contains(u"utf-8"_s));
        QVERIFY(reply->rawHeader("Content-Security-Policy"_ba).contains("default-src 'self'"));
    }
}

void TestGatewayServer::oversizedRequestIsRefused()
{
    // The gateway runs on this thread: wait through the event loop only.
    QTcpSocket socket;
    QByteArray answer;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { answer += socket.readAll(); });
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    socket.connectToHost(QHostAddress::LocalHost, m_server->port());
    QVERIFY(connected.wait(5000));
    const QByteArray body(gateway::kMaxHttpBytesPerConnection * 4, 'a');
    socket.write("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "_ba +
                 QByteArray::number(body.size()) + "\r\n\r\n"_ba + body);
    QTRY_VERIFY_WITH_TIMEOUT(answer.contains("\r\n\r\n"), 10000);
    QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.left(300).constData());
    // The gateway goes on serving.
    QWebSocket page(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
    QCOMPARE(openSocket(page), QString());
}

void TestGatewayServer::signInAnswerAndEnd()
{
    QWebSocket page(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
    QSignalSpy messages(&page, &QWebSocket::textMessageReceived);
    QCOMPARE(openSocket(page), QString());
    page.sendTextMessage(
        uR"({"type":"signin","seat":"7","code":"%1","takeover":false})"_s.arg(kCode));
    QVERIFY(!nextMessage(page, messages, u"signedin"_s).isEmpty());
    // The empty panel at once, the question at the seat's first poll.
    QCOMPARE(nextMessage(page, messages, u"view"_s).value(u"question"_s).toString(), QString());
    const QJsonObject view = nextMessage(page, messages, u"view"_s);
    QCOMPARE(view.value(u"question"_s).toString(), u"好きですか"_s);
    QCOMPARE(m_server->core().signedInCount(), 1);

    page.sendTextMessage(
        uR"({"type":"answer","index":1,"version":%1})"_s.arg(view.value(u"version"_s).toInteger()));
    QVERIFY(!nextMessage(page, messages, u"accepted"_s).isEmpty());
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(7)), exchange::answerFileBytes(2));

    // A binary frame is no message of the page's.
    page.sendBinaryMessage("\x01\x02"_ba);
    QCOMPARE(nextMessage(page, messages, u"refused"_s).value(u"reason"_s).toString(),
             u"malformed"_s);

    // The teacher's program closes: mode 0 reaches the page as the end.
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(7), commandLines(0)));
    QVERIFY(!nextMessage(page, messages, u"end"_s).isEmpty());
    QCOMPARE(m_server->core().signedInCount(), 0);
}

void TestGatewayServer::foreignOriginIsTurnedAway()
{
    // A page from elsewhere that a pupil happens to open is turned away at
    // the handshake.
    QWebSocket page(u"http://example.com"_s);
    QCOMPARE(openSocket(page), u"not connected"_s);
    QCOMPARE(m_server->core().signedInCount(), 0);

    // Any other path is no WebSocket of the gateway's.
    QWebSocket otherPath(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
    QCOMPARE(openSocket(otherPath, u"/other"_s), u"not connected"_s);
}

// What comes back for requests made by hand: only the gateway's own names,
// and its WebSocket only as one, from its own page.
void TestGatewayServer::answersByHostAndUpgrade_data()
{
    QTest::addColumn<QByteArray>("request"); // %1 is the port
    QTest::addColumn<QByteArray>("status");
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                               "Sec-WebSocket-Version: 13\r\n"_ba;
    QTest::newRow("own address") << "GET / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n"_ba
                                 << "200"_ba;
    QTest::newRow("localhost") << "GET /app.js HTTP/1.1\r\nHost: localhost:%1\r\n"_ba
                               << "200"_ba;
    QTest::newRow("foreign name") << "GET / HTTP/1.1\r\nHost: rebound.example:%1\r\n"_ba
                                  << "421"_ba;
    QTest::newRow("another port") << "GET / HTTP/1.1\r\nHost: 127.0.0.1:80\r\n"_ba
                                  << "421"_ba;
    QTest::newRow("no host") << "GET / HTTP/1.1\r\n"_ba
                             << "421"_ba;
    QTest::newRow("/ws without upgrade") << "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n"_ba
                                         << "426"_ba;
    QTest::newRow("WebSocket, foreign origin")
        << "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nOrigin: http://rebound.example\r\n"_ba +
               upgrade
        << "403"_ba;
    QTest::newRow("WebSocket, foreign host")
        << "GET /ws HTTP/1.1\r\nHost: rebound.example:%1\r\nOrigin: http://rebound.example:%1\r\n"_ba +
               upgrade
        << "421"_ba;
    QTest::newRow("WebSocket, own origin")
        << "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nOrigin: http://127.0.0.1:%1\r\n"_ba + upgrade
        << "101"_ba;
    QTest::newRow("upgrade on a page")
        << "GET / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nOrigin: http://127.0.0.1:%1\r\n"_ba + upgrade
        << "400"_ba;
}

void TestGatewayServer::answersByHostAndUpgrade()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QTcpSocket socket;
    QByteArray answer;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { answer += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, m_server->port());
    socket.write(request.replace("%1", QByteArray::number(m_server->port())) + "\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(answer.contains("\r\n\r\n"), 10000);
    QCOMPARE(answer.mid(9, 3), status);
}

void TestGatewayServer::oversizedFrameClosesTheConnection()
{
    QWebSocket page(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
    QSignalSpy disconnected(&page, &QWebSocket::disconnected);
    QCOMPARE(openSocket(page), QString());
    // Twice the limit, within the read buffer: a frame larger than that
    // buffer stalls under wine until the sign-in time-out drops the page.
    page.sendTextMessage(QString(gateway::kMaxMessageBytes * 2, u'a'));
    QVERIFY(disconnected.wait(5000) || !disconnected.isEmpty());
    QCOMPARE(m_server->core().signedInCount(), 0);
}

void TestGatewayServer::servedPeers_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("served");
    QTest::newRow("loopback") << u"127.0.0.1"_s << true;
    QTest::newRow("other loopback") << u"127.3.2.1"_s << true;
    QTest::newRow("own subnet") << u"192.168.10.20"_s << true;
    QTest::newRow("subnet's last") << u"192.168.10.255"_s << true;
    QTest::newRow("next subnet") << u"192.168.11.5"_s << false;
    QTest::newRow("another room") << u"10.1.2.3"_s << false;
    QTest::newRow("public") << u"8.8.8.8"_s << false;
    QTest::newRow("mapped own") << u"::ffff:192.168.10.7"_s << true;
    QTest::newRow("mapped other") << u"::ffff:10.1.2.3"_s << false;
    QTest::newRow("ipv6 loopback") << u"::1"_s << true;
    QTest::newRow("ipv6 own") << u"fd12:3456::99"_s << true;
    QTest::newRow("ipv6 other") << u"fd12:3457::1"_s << false;
    // Every interface has a link-local subnet: served only on the gateway's
    // own link-local address.
    QTest::newRow("link-local") << u"fe80::5"_s << false;
    QTest::newRow("link-local to link-local") << u"fe80::5|fe80::1"_s << true;
    QTest::newRow("IPv4 link-local") << u"169.254.3.4"_s << false;
    QTest::newRow("IPv4 link-local to link-local") << u"169.254.3.4|169.254.0.9"_s << true;
    QTest::newRow("own subnet to link-local") << u"192.168.10.20|fe80::1"_s << true;
}

void TestGatewayServer::servedPeers()
{
    QFETCH(QString, address);
    QFETCH(bool, served);
    // The machine's own: the loopback is served apart, and never as a subnet.
    for (const gateway::Subnet &own : gateway::ownSubnets())
        QVERIFY(!own.address.isLoopback());
    const QList<gateway::Subnet> subnets{{QHostAddress(u"192.168.10.3"_s), 24},
                                         {QHostAddress(u"fd12:3456::1"_s), 64},
                                         {QHostAddress(u"fe80::1"_s), 64},
                                         {QHostAddress(u"169.254.0.9"_s), 16},
                                         {QHostAddress(u"172.16.0.1"_s), 0}};
    // "peer|the gateway's own address it reached"
    const QStringList parts = address.split(u'|');
    QCOMPARE(gateway::isServedPeer(QHostAddress(parts[0]), subnets, QHostAddress(parts.value(1))),
             served);
}

void TestGatewayServer::ownHosts_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<quint16>("port");
    QTest::addColumn<bool>("own");
    QTest::newRow("own address") << "192.168.10.3:8932"_ba << quint16(8932) << true;
    QTest::newRow("loopback") << "127.0.0.1:8932"_ba << quint16(8932) << true;
    QTest::newRow("localhost") << "LocalHost:8932"_ba << quint16(8932) << true;
    QTest::newRow("ipv6") << "[fd12:3456::1]:8932"_ba << quint16(8932) << true;
    QTest::newRow("port 80 left out") << "192.168.10.3"_ba << quint16(80) << true;
    QTest::newRow("port left out") << "192.168.10.3"_ba << quint16(8932) << false;
    QTest::newRow("other port") << "192.168.10.3:8933"_ba << quint16(8932) << false;
    QTest::newRow("port with a sign") << "192.168.10.3:+8932"_ba << quint16(8932) << false;
    QTest::newRow("empty port") << "192.168.10.3:"_ba << quint16(8932) << false;
    QTest::newRow("neighbour") << "192.168.10.4:8932"_ba << quint16(8932) << false;
    QTest::newRow("name") << "teacher.example:8932"_ba << quint16(8932) << false;
    QTest::newRow("two ports") << "192.168.10.3:8932:8932"_ba << quint16(8932) << false;
    QTest::newRow("unclosed bracket") << "[fd12:3456::1:8932"_ba << quint16(8932) << false;
    QTest::newRow("empty") << ""_ba << quint16(80) << false;
}

void TestGatewayServer::ownHosts()
{
    QFETCH(QByteArray, host);
    QFETCH(quint16, port);
    QFETCH(bool, own);
    const QList<gateway::Subnet> subnets{{QHostAddress(u"192.168.10.3"_s), 24},
                                         {QHostAddress(u"fd12:3456::1"_s), 64}};
    QCOMPARE(gateway::isOwnHost(host, port, subnets), own);
}

void TestGatewayServer::addressKeys_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("key");
    QTest::newRow("IPv4") << u"192.168.10.20"_s << u"192.168.10.20"_s;
    QTest::newRow("IPv4 mapped") << u"::ffff:192.168.10.20"_s << u"192.168.10.20"_s;
    QTest::newRow("IPv6") << u"fd12:3456:0:7:1:2:3:4"_s << u"fd12:3456:0:7::/64"_s;
    QTest::newRow("IPv6 neighbour in the /64") << u"fd12:3456:0:7::99"_s << u"fd12:3456:0:7::/64"_s;
    QTest::newRow("next /64") << u"fd12:3456:0:8::1"_s << u"fd12:3456:0:8::/64"_s;
    QTest::newRow("link-local") << u"fe80::abcd:1"_s << u"fe80::/64"_s;
}

// What counts as one tablet for every per-address budget.
void TestGatewayServer::addressKeys()
{
    QFETCH(QString, address);
    QFETCH(QString, key);
    QCOMPARE(gateway::addressKey(QHostAddress(address)), key);
}

QTEST_GUILESS_MAIN(TestGatewayServer)
#include "tst_gatewayserver.moc"
