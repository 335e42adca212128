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

const QString kCode = u"7305"_s;

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
    void oversizedFrameClosesTheConnection();
    void localNetworkAddresses_data();
    void localNetworkAddresses();

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
        QTest::qWaitFor([&settled] { return settled; }, 10000);
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
    QWebSocket page(u"http://example.com"_s);
    QSignalSpy disconnected(&page, &QWebSocket::disconnected);
    QSignalSpy messages(&page, &QWebSocket::textMessageReceived);
    openSocket(page);
    page.sendTextMessage(
        uR"({"type":"signin","seat":"7","code":"%1","takeover":false})"_s.arg(kCode));
    QVERIFY(disconnected.wait(5000) || !disconnected.isEmpty());
    QVERIFY(messages.isEmpty());
    QCOMPARE(m_server->core().signedInCount(), 0);

    // Any other path is no WebSocket of the gateway's.
    QWebSocket otherPath(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
    QCOMPARE(openSocket(otherPath, u"/other"_s), u"not connected"_s);
}

void TestGatewayServer::oversizedFrameClosesTheConnection()
{
    QWebSocket page(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
    QSignalSpy disconnected(&page, &QWebSocket::disconnected);
    QCOMPARE(openSocket(page), QString());
    page.sendTextMessage(QString(gateway::kMaxMessageBytes * 8, u'a'));
    QVERIFY(disconnected.wait(5000) || !disconnected.isEmpty());
    QCOMPARE(m_server->core().signedInCount(), 0);
}

void TestGatewayServer::localNetworkAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("local");
    QTest::newRow("loopback") << u"127.0.0.1"_s << true;
    QTest::newRow("10/8") << u"10.1.2.3"_s << true;
    QTest::newRow("172.16/12") << u"172.31.0.5"_s << true;
    QTest::newRow("172.32") << u"172.32.0.5"_s << false;
    QTest::newRow("192.168/16") << u"192.168.10.20"_s << true;
    QTest::newRow("link-local") << u"169.254.1.1"_s << true;
    QTest::newRow("public") << u"8.8.8.8"_s << false;
    QTest::newRow("mapped private") << u"::ffff:192.168.1.2"_s << true;
    QTest::newRow("mapped public") << u"::ffff:1.1.1.1"_s << false;
    QTest::newRow("ipv6 loopback") << u"::1"_s << true;
    QTest::newRow("ipv6 ula") << u"fd12::1"_s << true;
    QTest::newRow("ipv6 global") << u"2001:db8::1"_s << false;
}

void TestGatewayServer::localNetworkAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, local);
    QCOMPARE(gateway::isLocalNetworkAddress(QHostAddress(address)), local);
}

QTEST_GUILESS_MAIN(TestGatewayServer)
#include "tst_gatewayserver.moc"
