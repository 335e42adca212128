// Fifty browsers' WebSocket connections through the real ombra-gateway in a
// long lesson run by the teacher's lesson code: every question's counts must
// match what the browsers answered, exactly.
#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"
#include "teacher/lesson/SoakQuestionnaire.h"

#include "exchange/ExchangeFiles.h"
#include "teacher/lesson/Lesson.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QTest>
#include <QWebSocket>

#include <algorithm>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSeats = exchange::kStudentsMax;
const QString kCode = u"135791"_s;
constexpr int kMinQuestionMs = 100;

struct Browser
{
    std::unique_ptr<QWebSocket> socket;
    bool signedIn = false;
    qint64 version = -1;
    int shownButtons = 0;
    int accepted = 0;
    int ended = 0;
    qint64 viewAt = 0; // on the soak's clock
};

// Each browser reaches the gateway from an address of its own, as tablets do
// (the gateway's budgets are per address): a SOCKS5 relay per browser binds
// its connection to the gateway to 127.0.0.<n>.
class SourceRelay : public QTcpServer
{
public:
    explicit SourceRelay(const QHostAddress &source) : m_source(source)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *in = nextPendingConnection())
                relay(in);
        });
    }

private:
    void relay(QTcpSocket *in)
    {
        auto *out = new QTcpSocket(in);
        connect(in, &QTcpSocket::readyRead, in, [this, in, out] {
            if (out->state() == QAbstractSocket::ConnectedState) {
                out->write(in->readAll());
            } else if (in->bytesAvailable() == 3) { // greeting: no authentication
                in->readAll();
                in->write("\x05\x00"_ba);
            } else if (in->bytesAvailable() >= 10) { // connect to an IPv4 address
                const QByteArray request = in->read(10);
                out->bind(m_source);
                out->connectToHost(QHostAddress(qFromBigEndian<quint32>(request.constData() + 4)),
                                   qFromBigEndian<quint16>(request.constData() + 8));
            }
        });
        connect(out, &QTcpSocket::connected, in,
                [in] { in->write(QByteArray("\x05\x00\x00\x01\0\0\0\0\0\0", 10)); });
        connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
        connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
        connect(in, &QTcpSocket::disconnected, in, [in, out] {
            out->disconnectFromHost();
            in->deleteLater();
        });
    }

    QHostAddress m_source;
};

#ifdef Q_OS_LINUX
// Peak resident memory in KiB and CPU seconds of a process, from /proc.
QPair<qint64, double> usageOf(qint64 pid)
{
    qint64 peak = 0;
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peak = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    double cpu = 0;
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // utime and stime are fields 14 and 15 of the whole line.
        cpu = (fields.value(11).toDouble() + fields.value(12).toDouble()) / 100.0;
    }
    return {peak, cpu};
}
#endif

} // namespace

class TestGatewaySoak : public QObject
{
    Q_OBJECT

private slots:
    void fiftyBrowsers();
};

void TestGatewaySoak::fiftyBrowsers()
{
    const int questions = qEnvironmentVariableIsSet("OMBRA_SOAK_QUESTIONS")
                              ? qEnvironmentVariableIntValue("OMBRA_SOAK_QUESTIONS")
                              : 200;
    std::mt19937 random(20261207u);

    ClassroomFolder folder;
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    lesson.Form_Load();

    QProcess gateway;
    gateway.setWorkingDirectory(folder.path());
    gateway.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"ASAN_OPTIONS"_s,
                       environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
    gateway.setProcessEnvironment(environment);
    // Made absolute here: on Windows a path from the root names the drive of
    // this program, not of the classroom folder the gateway starts in.
    gateway.start(QFileInfo(QStringLiteral(GATEWAY_PROGRAM)).absoluteFilePath(),
                  {u"--port"_s, u"0"_s, u"--code"_s, kCode});
    QVERIFY2(gateway.waitForStarted(10000), qPrintable(gateway.errorString()));
    QVERIFY(QTest::qWaitFor([&] { return bool(gateway.canReadLine()); }, 20000));
    // Port 0: the gateway takes a free port and names it in its address (a
    // port found free beforehand may be taken by another test meanwhile).
    const QUrl address(QString::fromUtf8(gateway.readLine()).section(u' ', 1).trimmed());
    const int port = address.port();
    QVERIFY2(address.scheme() == u"http"_s && port > 0, qPrintable(address.toString()));

    std::array<Browser, kSeats + 1> browsers;
    std::vector<std::unique_ptr<SourceRelay>> relays;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> latencies;
    for (int seat = 1; seat <= kSeats; ++seat) {
        Browser &browser = browsers[seat];
        browser.socket = std::make_unique<QWebSocket>(u"http://127.0.0.1:%1"_s.arg(port));
        relays.push_back(std::make_unique<SourceRelay>(QHostAddress(0x7f000100u + quint32(seat))));
        browser.socket->setProxy(
            QNetworkProxy(QNetworkProxy::Socks5Proxy, u"127.0.0.1"_s, relays.back()->serverPort()));
        connect(browser.socket.get(), &QWebSocket::textMessageReceived, this,
                [&browser, &clock](const QString &text) {
                    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
                    const QString type = message.value(u"type"_s).toString();
                    if (type == u"signedin"_s) {
                        browser.signedIn = true;
                    } else if (type == u"view"_s) {
                        browser.version = message.value(u"version"_s).toInteger();
                        browser.viewAt = clock.elapsed();
                        browser.shownButtons = 0;
                        for (const QJsonValue &button : message.value(u"buttons"_s).toArray())
                            browser.shownButtons += button[u"shown"_s].toBool() ? 1 : 0;
                    } else if (type == u"accepted"_s) {
                        ++browser.accepted;
                    } else if (type == u"dropped"_s || type == u"refused"_s) {
                        qWarning().noquote() << text;
                    } else if (type == u"end"_s) {
                        ++browser.ended;
                    }
                });
        connect(browser.socket.get(), &QWebSocket::connected, this, [&browser, seat] {
            browser.socket->sendTextMessage(
                uR"({"type":"signin","seat":"%1","code":"%2"})"_s.arg(seat).arg(kCode));
        });
        browser.socket->open(QUrl(u"ws://127.0.0.1:%1/ws"_s.arg(port)));
    }
    const auto allSignedIn = [&browsers] {
        return std::all_of(browsers.begin() + 1, browsers.end(),
                           [](const Browser &b) { return b.signedIn && b.version >= 0; });
    };
    QVERIFY(QTest::qWaitFor([&] { return bool(allSignedIn()); }, 60000));

    const qint64 soakStart = clock.elapsed();
    qint64 lastQuestionAt = soakStart;
    for (int k = 0; k < questions; ++k) {
        const int row = k % kRowsPerQuestionnaire;
        QVERIFY(openSoakQuestionnaire(k, folder, lesson, random));
        std::array<qint64, kSeats + 1> before{};
        for (int seat = 1; seat <= kSeats; ++seat)
            before[seat] = browsers[seat].version;
        // Paced like a very quick class, under the gateway's per-address
        // message limit (a pupil never clicks that fast).
        while (clock.elapsed() - lastQuestionAt < kMinQuestionMs)
            QTest::qWait(5);
        lastQuestionAt = clock.elapsed();
        const bool oneAnswer = std::uniform_int_distribution<int>(0, 1)(random) == 1;
        lesson.Check1_Click(oneAnswer);
        const qint64 publishedAt = clock.elapsed();
        lesson.cmdNext_Click();
        QCOMPARE(lesson.shownRow(), row);
        const int mode = int(lesson.LVQMode);
        QVERIFY(mode >= 2 && mode <= 5);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return bool(
                    std::all_of(browsers.begin() + 1, browsers.end(), [&](const Browser &b) {
                        const int seat = int(&b - browsers.data());
                        return b.version > before[seat] && b.shownButtons == mode;
                    }));
            },
            20000));

        for (int seat = 1; seat <= kSeats; ++seat)
            latencies.push_back(browsers[seat].viewAt - publishedAt);

        std::array<int, kSeats + 1> finals{};
        int sent = 0;
        std::array<int, kSeats + 1> acceptedBefore{};
        for (int seat = 1; seat <= kSeats; ++seat) {
            acceptedBefore[seat] = browsers[seat].accepted;
            // Some pupils do not answer; some change their mind.
            if (std::uniform_int_distribution<int>(0, 9)(random) == 0)
                continue;
            const int clicks = oneAnswer ? 1 : std::uniform_int_distribution<int>(1, 2)(random);
            for (int c = 0; c < clicks; ++c) {
                const int index = std::uniform_int_distribution<int>(0, mode - 1)(random);
                browsers[seat].socket->sendTextMessage(
                    uR"({"type":"answer","index":%1,"version":%2})"_s.arg(index).arg(
                        browsers[seat].version));
                finals[seat] = index + 1;
                ++sent;
            }
        }
        QVERIFY(QTest::qWaitFor(
            [&] {
                return bool([&] {
                    int accepted = 0;
                    for (int seat = 1; seat <= kSeats; ++seat)
                        accepted += browsers[seat].accepted - acceptedBefore[seat];
                    return accepted == sent;
                }());
            },
            20000));

        lesson.session().Timer1_Timer();
        std::array<float, 5> expected{};
        int expectedSum = 0;
        for (int seat = 1; seat <= kSeats; ++seat) {
            QCOMPARE(lesson.session().lastTally().seatAnswer[seat], float(finals[seat]));
            if (finals[seat] > 0) {
                ++expected[finals[seat] - 1];
                ++expectedSum;
            }
        }
        QCOMPARE(lesson.session().lastTally().answerCount, expected);
        QCOMPARE(lesson.session().lastTally().lvqSum, expectedSum);
    }
    const qint64 elapsed = clock.elapsed() - soakStart;
    // From the start of the teacher's publication to the page's new view
    // (the teacher's program writes 51 command files in that time).
    std::sort(latencies.begin(), latencies.end());
    qInfo().noquote() << u"new question to the pages: median %1 ms, 90th percentile %2 ms"_s
                             .arg(latencies[latencies.size() / 2])
                             .arg(latencies[latencies.size() * 9 / 10]);

#ifdef Q_OS_LINUX
    const auto [peakKiB, cpuSeconds] = usageOf(gateway.processId());
    qInfo().noquote()
        << u"gateway: %1 questions, 50 browsers, %2 ms, peak memory %3 MiB, CPU %4 s"_s
               .arg(questions)
               .arg(elapsed)
               .arg(double(peakKiB) / 1024.0, 0, 'f', 1)
               .arg(cpuSeconds, 0, 'f', 2);
#else
    Q_UNUSED(elapsed);
#endif

    // The teacher closes: every page is told the end.
    lesson.Form_Unload();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return bool(std::all_of(browsers.begin() + 1, browsers.end(),
                                    [](const Browser &b) { return b.ended == 1; }));
        },
        20000));
#ifdef Q_OS_WIN
    gateway.kill(); // a console program has no window to be asked to close
#else
    gateway.terminate();
#endif
    QVERIFY(gateway.waitForFinished(20000));
}

QTEST_GUILESS_MAIN(TestGatewaySoak)
#include "tst_gatewaysoak.moc"
