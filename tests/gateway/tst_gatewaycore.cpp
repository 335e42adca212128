#include "student/SeatFolder.h"

#include "exchange/ExchangeFiles.h"
#include "gateway/Console.h"
#include "gateway/GatewayCore.h"
#include "gateway/Protocol.h"
#include "student/SignIn.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using gateway::GatewayCore;

namespace {

const QString kCode = u"482193"_s;

QStringList commandLines(int mode, const QStringList &labels, int oneAnswerOnly = 0,
                         const QString &question = u"好きですか"_s)
{
    QStringList lines{u" %1 "_s.arg(mode), question};
    for (int i = 0; i < 5; ++i)
        lines << labels.value(i);
    return lines << u" %1 "_s.arg(oneAnswerOnly);
}

QByteArray signInMessage(const QString &seat, const QString &code, bool takeover = false)
{
    return QJsonDocument(QJsonObject{{u"type"_s, u"signin"_s},
                                     {u"seat"_s, seat},
                                     {u"code"_s, code},
                                     {u"takeover"_s, takeover}})
        .toJson(QJsonDocument::Compact);
}

QByteArray answerMessage(int index, qint64 version)
{
    return QJsonDocument(
               QJsonObject{{u"type"_s, u"answer"_s}, {u"index"_s, index}, {u"version"_s, version}})
        .toJson(QJsonDocument::Compact);
}

QByteArray keyMessage(const QString &seat, const QString &key, bool takeover = false)
{
    return QJsonDocument(QJsonObject{{u"type"_s, u"signin"_s},
                                     {u"seat"_s, seat},
                                     {u"key"_s, key},
                                     {u"takeover"_s, takeover}})
        .toJson(QJsonDocument::Compact);
}

QByteArray resumeMessage(const QString &token)
{
    return QJsonDocument(QJsonObject{{u"type"_s, u"resume"_s}, {u"token"_s, token}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

class TestGatewayCore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parseBrowserMessage_data();
    void parseBrowserMessage();
    void signInRefusals_data();
    void signInRefusals();
    void signInWritesTheAnswerFileAndShowsTheQuestion();
    void answerChangeAndLock();
    void hiddenButtonCannotBePressed();
    void heldSeatMovesOnlyWithConsent();
    void reconnectKeepsTheSeat();
    void answerGivenOfflineIsDroppedAfterANewQuestion();
    void clickOnReplacedQuestionWritesNothing();
    void modeZeroEndsTheSeat();
    void noCommandFileEndsAtSignIn();
    void halfWrittenCommandFileKeepsTheView();
    void typedCodesHaveBudgets();
    void typedCodeForms_data();
    void typedCodeForms();
    void messageFloodDisconnects();
    void idleConnectionsAreSwept();
    void malformedMessagesAreRefused_data();
    void malformedMessagesAreRefused();
    void requestsLapseAndOneATablet();
    void requestsOfNeighbours_data();
    void requestsOfNeighbours();
    void oneTabletOneSeat_data();
    void oneTabletOneSeat();
    void signInsAMinute();
    void resumeFromAnotherTablet_data();
    void resumeFromAnotherTablet();
    void secondSeatTakesTheTeachersApproval();
    void approvedMoveTellsTheSeatLeft_data();
    void approvedMoveTellsTheSeatLeft();
    void teacherFreesASeatAndTurnsATabletAway();
    void oneAddressCannotLockTheCodeOut();
    void turningGuessersAwayGivesANewCode();
    void guessersWithSeatsAreTurnedAway_data();
    void guessersWithSeatsAreTurnedAway();
    void consoleCommands_data();
    void consoleCommands();
    void timeMessage_data();
    void timeMessage();
    void timeCaptionGoesToSeatedPages();
    void timeCaptionReachesAPageThatComesToASeat_data();
    void timeCaptionReachesAPageThatComesToASeat();

private:
    std::unique_ptr<SeatFolder> m_folder;
    std::unique_ptr<GatewayCore> m_core;
    qint64 m_now = 0;
    qint64 m_version = 0;
    QHash<quint64, QList<QJsonObject>> m_sent;
    QList<quint64> m_disconnected;

    // Each client a tablet of its own unless told otherwise.
    void connectClient(quint64 client, const QString &address = {})
    {
        m_core->clientConnected(client,
                                address.isEmpty() ? u"192.168.1.%1"_s.arg(client) : address);
    }
    // Messages of one type sent to a client since the last call.
    QList<QJsonObject> take(quint64 client) { return std::exchange(m_sent[client], {}); }
    static QJsonObject last(const QList<QJsonObject> &messages, const QString &type)
    {
        for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
            if (it->value(u"type"_s).toString() == type)
                return *it;
        }
        return {};
    }
    // Signs in and runs the seat's first poll; the token, and the version of
    // the view it then shows in m_version.
    QString signInAs(quint64 client, int seat)
    {
        m_core->handleMessage(client, signInMessage(QString::number(seat), kCode));
        m_core->pollAll();
        const QList<QJsonObject> sent = take(client);
        m_version = last(sent, u"view"_s).value(u"version"_s).toInteger();
        return last(sent, u"signedin"_s).value(u"token"_s).toString();
    }
    QString reason(quint64 client)
    {
        return last(take(client), u"refused"_s)[u"reason"_s].toString();
    }
    static QStringList shownLabels(const QJsonObject &view)
    {
        QStringList labels;
        for (const QJsonValue &button : view.value(u"buttons"_s).toArray()) {
            if (button[u"shown"_s].toBool())
                labels << button[u"label"_s].toString();
        }
        return labels;
    }
};

void TestGatewayCore::init()
{
    m_folder = std::make_unique<SeatFolder>();
    QVERIFY(m_folder->isValid());
    m_core = std::make_unique<GatewayCore>(kCode);
    m_now = 0;
    m_core->setClock([this] { return m_now; });
    m_sent.clear();
    m_disconnected.clear();
    m_core->setSink({[this](quint64 client, const QByteArray &message) {
                         m_sent[client].append(QJsonDocument::fromJson(message).object());
                     },
                     [this](quint64 client) { m_disconnected.append(client); }});
    for (int seat = 0; seat <= exchange::kStudentsMax; ++seat) {
        QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(seat),
                                       commandLines(2, {u"○"_s, u"×"_s})));
    }
}

void TestGatewayCore::cleanup()
{
    m_core.reset();
    m_folder.reset();
}

void TestGatewayCore::parseBrowserMessage_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("signin") << signInMessage(u"7"_s, kCode) << true;
    QTest::newRow("signin with the key") << keyMessage(u"7"_s, u"k"_s) << true;
    QTest::newRow("signin with code and key")
        << R"({"type":"signin","seat":"7","code":"1","key":"k"})"_ba << false;
    QTest::newRow("signin with neither") << R"({"type":"signin","seat":"7"})"_ba << false;
    QTest::newRow("release") << R"({"type":"release"})"_ba << true;
    QTest::newRow("resume") << resumeMessage(u"abc"_s) << true;
    QTest::newRow("answer") << answerMessage(4, 12) << true;
    QTest::newRow("answer index 5") << answerMessage(5, 1) << false;
    QTest::newRow("answer index -1") << answerMessage(-1, 1) << false;
    QTest::newRow("answer index 1.5") << R"({"type":"answer","index":1.5,"version":1})"_ba << false;
    QTest::newRow("answer index text")
        << R"({"type":"answer","index":"1","version":1})"_ba << false;
    QTest::newRow("answer no version") << R"({"type":"answer","index":1})"_ba << false;
    QTest::newRow("unknown type") << R"({"type":"shutdown"})"_ba << false;
    QTest::newRow("array") << "[1,2]"_ba << false;
    QTest::newRow("not json") << "\xff\xfe{"_ba << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("seat not text") << R"({"type":"signin","seat":7,"code":"4821"})"_ba << false;
    QTest::newRow("seat too long")
        << signInMessage(QString(gateway::kMaxEntryChars + 1, u'7'), kCode) << false;
    QTest::newRow("takeover not bool")
        << R"({"type":"signin","seat":"7","code":"4821","takeover":"yes"})"_ba << false;
    QTest::newRow("empty token") << resumeMessage(QString()) << false;
    QTest::newRow("oversized") << QByteArray(gateway::kMaxMessageBytes + 1, ' ') << false;
    QTest::newRow("as long as allowed")
        << resumeMessage(u"abc"_s).leftJustified(gateway::kMaxMessageBytes, ' ') << true;
}

void TestGatewayCore::parseBrowserMessage()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QCOMPARE(gateway::parseBrowserMessage(text).has_value(), valid);
}

void TestGatewayCore::signInRefusals_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("message");
    const QString invalid = student::invalidEntryMessage();
    QTest::newRow("0") << u"0"_s << kCode << u"seat"_s << invalid;
    QTest::newRow("51") << u"51"_s << kCode << u"seat"_s << invalid;
    QTest::newRow("empty") << QString() << kCode << u"seat"_s << invalid;
    QTest::newRow("letters") << u"abc"_s << kCode << u"seat"_s << invalid;
    QTest::newRow("2.5") << u"2.5"_s << kCode << u"seat"_s << invalid;
    QTest::newRow("full-width") << u"１"_s << kCode << u"seat"_s << invalid;
    QTest::newRow("-3") << u"-3"_s << kCode << u"seat"_s << invalid;
    QTest::newRow("wrong code") << u"7"_s << u"482194"_s << u"code"_s
                                << gateway::wrongCodeMessage();
    QTest::newRow("code cut short")
        << u"7"_s << u"48219"_s << u"code"_s << gateway::wrongCodeMessage();
    QTest::newRow("empty code") << u"7"_s << QString() << u"code"_s << gateway::wrongCodeMessage();
    QTest::newRow("full-width wrong code")
        << u"7"_s << u"４８２１９４"_s << u"code"_s << gateway::wrongCodeMessage();
}

void TestGatewayCore::signInRefusals()
{
    QFETCH(QString, entry);
    QFETCH(QString, code);
    QFETCH(QString, reason);
    QFETCH(QString, message);
    connectClient(1);
    const QByteArray before = SeatFolder::read(exchange::answerFilePath(7));
    m_core->handleMessage(1, signInMessage(entry, code));
    const QJsonObject refused = last(take(1), u"refused"_s);
    QCOMPARE(refused.value(u"reason"_s).toString(), reason);
    QCOMPARE(refused.value(u"message"_s).toString(), message);
    QCOMPARE(refused.value(u"title"_s).toString(), student::signInMessageTitle());
    QCOMPARE(m_core->signedInCount(), 0);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(7)), before);
}

void TestGatewayCore::signInWritesTheAnswerFileAndShowsTheQuestion()
{
    // The pupil's entry rule: " 7" and "7abc" both name seat 7; the code may
    // be typed with the blank it is shown with.
    QVERIFY(exchange::writeWholeFile(exchange::answerFilePath(7), exchange::answerFileBytes(3)).ok);
    connectClient(1);
    m_core->handleMessage(1, signInMessage(u" 7abc"_s, u"482 193"_s));
    QList<QJsonObject> sent = take(1);
    QCOMPARE(last(sent, u"signedin"_s).value(u"seat"_s).toInt(), 7);
    QVERIFY(!last(sent, u"signedin"_s).value(u"token"_s).toString().isEmpty());
    // Like the pupil's window, the seat shows nothing before its first poll.
    QCOMPARE(shownLabels(last(sent, u"view"_s)), QStringList());
    m_core->pollAll();
    const QJsonObject view = last(take(1), u"view"_s);
    QCOMPARE(view.value(u"question"_s).toString(), u"好きですか"_s);
    QCOMPARE(shownLabels(view), (QStringList{u"○"_s, u"×"_s}));
    // An answer the seat gave before stays.
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(7)), exchange::answerFileBytes(3));
    QCOMPARE(m_core->signedInCount(), 1);
    QCOMPARE(m_core->connectedCount(), 1);

    // The QR code's key signs in without the code, and is never slowed.
    connectClient(2);
    m_core->handleMessage(2, keyMessage(u"8"_s, m_core->lessonKey()));
    QVERIFY(!last(take(2), u"signedin"_s).isEmpty());
    m_core->handleMessage(2, keyMessage(u"9"_s, m_core->lessonKey().chopped(1) + u'x'));
    QCOMPARE(reason(2), u"key"_s);
    QCOMPARE(m_core->wrongCodeCount(), 0);
}

void TestGatewayCore::answerChangeAndLock()
{
    connectClient(1);
    signInAs(1, 12);
    const qint64 version = m_version;
    // A poll that finds nothing new sends nothing.
    m_core->pollAll();
    QVERIFY(take(1).isEmpty());

    m_core->handleMessage(1, answerMessage(1, version));
    QCOMPARE(last(take(1), u"accepted"_s).value(u"index"_s).toInt(), 1);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(12)), exchange::answerFileBytes(2));
    m_core->handleMessage(1, answerMessage(0, version));
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(12)), exchange::answerFileBytes(1));

    // One answer only: the first click hides the buttons and locks the seat.
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(12),
                                   commandLines(3, {u"あ"_s, u"い"_s, u"う"_s}, 1, u"次"_s)));
    m_core->pollAll();
    QJsonObject view = last(take(1), u"view"_s);
    QCOMPARE(shownLabels(view), (QStringList{u"あ"_s, u"い"_s, u"う"_s}));
    m_core->handleMessage(1, answerMessage(2, view.value(u"version"_s).toInteger()));
    const QList<QJsonObject> sent = take(1);
    QVERIFY(!last(sent, u"accepted"_s).isEmpty());
    QVERIFY(shownLabels(last(sent, u"view"_s)).isEmpty());
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(12)), exchange::answerFileBytes(3));
    QCOMPARE(SeatFolder::read(exchange::commandFilePath(12)),
             exchange::shortCommandFileBytes(u"次"_s));
    // The poll reads the lock back and keeps the buttons hidden.
    m_core->pollAll();
    for (const QJsonObject &message : take(1))
        QVERIFY(shownLabels(message).isEmpty());
    m_core->handleMessage(1, answerMessage(0, view.value(u"version"_s).toInteger()));
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(12)), exchange::answerFileBytes(3));
}

void TestGatewayCore::hiddenButtonCannotBePressed()
{
    connectClient(1);
    signInAs(1, 3);
    // Mode 2 shows buttons 0 and 1 only; a hand-made message for button 4
    // writes nothing.
    m_core->handleMessage(1, answerMessage(4, m_version));
    QCOMPARE(reason(1), u"closed"_s);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(3)), exchange::answerFileBytes(0));

    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(3), commandLines(100, {u"○"_s})));
    m_core->pollAll();
    const qint64 paused = last(take(1), u"view"_s).value(u"version"_s).toInteger();
    m_core->handleMessage(1, answerMessage(0, paused));
    QCOMPARE(reason(1), u"closed"_s);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(3)), exchange::answerFileBytes(0));
}

// A seat another page holds moves only when the teacher approves or the
// holding page lets it go; the code the whole class sees is not enough.
void TestGatewayCore::heldSeatMovesOnlyWithConsent()
{
    connectClient(1, u"192.168.0.11"_s);
    connectClient(2, u"192.168.0.12"_s);
    connectClient(3, u"192.168.0.13"_s);
    const QString firstToken = signInAs(1, 5);
    m_core->handleMessage(1, answerMessage(0, m_version));
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(5)), exchange::answerFileBytes(1));
    take(1);

    m_core->handleMessage(2, signInMessage(u"5"_s, kCode));
    QCOMPARE(last(take(2), u"held"_s).value(u"message"_s).toString(), gateway::seatHeldMessage());
    // Asked with the code: a request for the teacher, and the holder is told;
    // one request an address.
    connectClient(4, u"192.168.0.12"_s);
    m_core->handleMessage(4, signInMessage(u"5"_s, kCode, true));
    m_core->handleMessage(2, signInMessage(u"5"_s, kCode, true));
    QCOMPARE(reason(4), u"denied"_s);
    m_core->handleMessage(3, keyMessage(u"5"_s, m_core->lessonKey(), true));
    const int denied = last(take(2), u"pending"_s).value(u"request"_s).toInt();
    const int approved = last(take(3), u"pending"_s).value(u"request"_s).toInt();
    QVERIFY(!last(take(1), u"requested"_s).isEmpty());
    QCOMPARE(m_core->requests().size(), 2);
    QCOMPARE(m_core->requests().first().seat, 5);
    m_core->handleMessage(2, answerMessage(0, m_version));
    QCOMPARE(reason(2), u"notsigned"_s);

    QVERIFY(m_core->deny(denied));
    QCOMPARE(reason(2), u"denied"_s);
    QVERIFY(!m_core->isSignedIn(2));
    QVERIFY(!m_core->deny(denied));
    QVERIFY(m_core->approve(approved));
    QCOMPARE(m_core->requests().size(), 0);
    const QList<QJsonObject> third = take(3);
    const QString thirdToken = last(third, u"signedin"_s).value(u"token"_s).toString();
    QVERIFY(!thirdToken.isEmpty() && thirdToken != firstToken);
    QVERIFY(!last(take(1), u"takenover"_s).isEmpty());
    // The seat goes on: its answer stays; the first page can neither answer
    // nor come back with its old token.
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(5)), exchange::answerFileBytes(1));
    m_core->handleMessage(1, answerMessage(1, m_version));
    QCOMPARE(reason(1), u"notsigned"_s);
    m_core->handleMessage(1, resumeMessage(firstToken));
    QVERIFY(!last(take(1), u"expired"_s).isEmpty());
    m_core->handleMessage(3, answerMessage(1, last(third, u"view"_s)[u"version"_s].toInteger()));
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(5)), exchange::answerFileBytes(2));

    // The holder lets the seat go: it is free, and the page that had asked
    // for it is told and signs in again like anyone; nothing is handed on.
    m_core->handleMessage(2, signInMessage(u"5"_s, kCode, true));
    take(2);
    m_core->handleMessage(3, R"({"type":"release"})"_ba);
    QVERIFY(!last(take(3), u"released"_s).isEmpty());
    const QList<QJsonObject> waiting = take(2);
    QVERIFY(last(waiting, u"signedin"_s).isEmpty());
    QVERIFY(last(waiting, u"seatfree"_s)[u"message"_s].toString().contains(u"5"_s));
    QVERIFY(!m_core->holdsSeat(5));
    QCOMPARE(m_core->requests().size(), 0);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(5)), exchange::answerFileBytes(2));
    m_core->handleMessage(2, signInMessage(u"5"_s, kCode));
    QVERIFY(!last(take(2), u"signedin"_s).isEmpty());
}

void TestGatewayCore::reconnectKeepsTheSeat()
{
    connectClient(1);
    const QString token = signInAs(1, 9);
    m_core->clientDisconnected(1);
    QCOMPARE(m_core->signedInCount(), 1);
    QCOMPARE(m_core->connectedCount(), 0);

    // While it is away, nobody else takes the seat.
    connectClient(2, u"192.168.0.99"_s);
    m_core->handleMessage(2, signInMessage(u"9"_s, kCode));
    QVERIFY(!last(take(2), u"held"_s).isEmpty());

    connectClient(3);
    m_core->handleMessage(3, resumeMessage(token));
    const QList<QJsonObject> sent = take(3);
    QCOMPARE(last(sent, u"signedin"_s).value(u"seat"_s).toInt(), 9);
    QVERIFY(!last(sent, u"view"_s).isEmpty());
    QCOMPARE(m_core->connectedCount(), 1);
    // Coming back does not sign in again: the answer file is not reset.
    m_core->handleMessage(3, answerMessage(1, last(sent, u"view"_s)[u"version"_s].toInteger()));
    // A second tab with the same token: it goes on, the first is told and
    // let go once, so the two do not cut each other off for ever.
    connectClient(4);
    m_core->handleMessage(4, resumeMessage(last(sent, u"signedin"_s)[u"token"_s].toString()));
    QVERIFY(!last(take(4), u"signedin"_s).isEmpty());
    QVERIFY(!last(take(3), u"moved"_s).isEmpty());
    QCOMPARE(m_disconnected, QList<quint64>{3});
    QCOMPARE(m_core->connectedCount(), 1);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(9)), exchange::answerFileBytes(2));

    connectClient(5);
    m_core->handleMessage(5, resumeMessage(u"0123456789abcdef"_s));
    QVERIFY(!last(take(5), u"expired"_s).isEmpty());
}

void TestGatewayCore::answerGivenOfflineIsDroppedAfterANewQuestion()
{
    connectClient(1);
    signInAs(1, 4);
    const qint64 oldVersion = m_version;
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(4),
                                   commandLines(2, {u"はい"_s, u"いいえ"_s}, 0, u"新しい問題"_s)));
    m_core->pollAll();
    const qint64 newVersion = last(take(1), u"view"_s).value(u"version"_s).toInteger();
    QVERIFY(newVersion != oldVersion);

    m_core->handleMessage(1, answerMessage(0, oldVersion));
    const QList<QJsonObject> sent = take(1);
    QCOMPARE(last(sent, u"dropped"_s).value(u"message"_s).toString(),
             u"回答 1 を送る前に、先生の画面が切り替わりました。この回答は届いていません。"_s);
    QCOMPARE(last(sent, u"view"_s).value(u"question"_s).toString(), u"新しい問題"_s);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(4)), exchange::answerFileBytes(0));

    m_core->handleMessage(1, answerMessage(0, newVersion));
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(4)), exchange::answerFileBytes(1));

    // Published again before the gateway read the file: the page's version is
    // current, the click is still not written, and the page is told.
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(4),
                                   commandLines(3, {u"A"_s, u"B"_s, u"C"_s}, 0, u"三問目"_s)));
    m_core->handleMessage(1, answerMessage(1, newVersion));
    const QList<QJsonObject> late = take(1);
    QCOMPARE(last(late, u"dropped"_s).value(u"index"_s).toInt(), 1);
    QCOMPARE(last(late, u"view"_s).value(u"question"_s).toString(), u"三問目"_s);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(4)), exchange::answerFileBytes(1));
}

void TestGatewayCore::clickOnReplacedQuestionWritesNothing()
{
    connectClient(1);
    signInAs(1, 6);
    // Published after the last poll: the panel's own late-click check
    // refuses the click and the page gets the new question.
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(6),
                                   commandLines(3, {u"A"_s, u"B"_s, u"C"_s}, 0, u"後の問題"_s)));
    m_core->handleMessage(1, answerMessage(1, m_version));
    QCOMPARE(last(take(1), u"view"_s).value(u"question"_s).toString(), u"後の問題"_s);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(6)), exchange::answerFileBytes(0));
}

void TestGatewayCore::modeZeroEndsTheSeat()
{
    connectClient(1);
    connectClient(2);
    signInAs(1, 1);
    signInAs(2, 50);
    m_core->clientDisconnected(2);
    QCOMPARE(m_core->signedInCount(), 2);
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(1), commandLines(0, {})));
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(50), commandLines(0, {})));
    m_core->stop();
    QVERIFY(!last(take(1), u"end"_s).isEmpty());
    QCOMPARE(m_core->signedInCount(), 0);
    // A seat that has ended is free again for a new sign-in.
    m_core->handleMessage(1, answerMessage(0, 1));
    QCOMPARE(last(take(1), u"refused"_s).value(u"reason"_s).toString(), u"notsigned"_s);
}

void TestGatewayCore::noCommandFileEndsAtSignIn()
{
    QVERIFY(QFile::remove(exchange::commandFilePath(8)));
    connectClient(1);
    m_core->handleMessage(1, signInMessage(u"8"_s, kCode));
    QVERIFY(last(take(1), u"end"_s).isEmpty());
    // The first poll, like the pupil's program's, ends the seat.
    m_core->pollAll();
    QVERIFY(!last(take(1), u"end"_s).isEmpty());
    QCOMPARE(m_core->signedInCount(), 0);
}

// A command file read in the middle of its rewrite: the page keeps what it
// showed until the next whole read.
void TestGatewayCore::halfWrittenCommandFileKeepsTheView()
{
    connectClient(1);
    signInAs(1, 10);
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(10), {u" 3 "_s}));
    m_core->pollAll();
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(10), {}));
    m_core->pollAll();
    QVERIFY(take(1).isEmpty());
    m_core->handleMessage(1, answerMessage(1, m_version));
    QVERIFY(!last(take(1), u"accepted"_s).isEmpty());
    QVERIFY(SeatFolder::writeLines(exchange::commandFilePath(10),
                                   commandLines(3, {u"A"_s, u"B"_s, u"C"_s}, 0, u"次"_s)));
    m_core->pollAll();
    const QJsonObject view = last(take(1), u"view"_s);
    QCOMPARE(view.value(u"question"_s).toString(), u"次"_s);
    QCOMPARE(view.value(u"version"_s).toInteger(), m_version + 1);
}

// The arithmetic is in GatewayCore.h: a budget across all addresses, and a
// growing wait for each address.
void TestGatewayCore::typedCodesHaveBudgets()
{
    const auto tryCode = [this](quint64 client, const QString &code) {
        m_core->handleMessage(client, signInMessage(u"7"_s, code));
        const QString refused = reason(client);
        return refused.isEmpty() ? u"in"_s : refused;
    };
    // One address: three wrong codes, then 1 s, then 2 s before the next is
    // judged; even the right code waits. Its neighbour does not.
    connectClient(1, u"192.168.0.50"_s);
    for (int i = 0; i < gateway::kFreeWrongCodes; ++i)
        QCOMPARE(tryCode(1, u"000000"_s), u"code"_s);
    QCOMPARE(tryCode(1, kCode), u"busy"_s);
    m_now += 999;
    QCOMPARE(tryCode(1, kCode), u"busy"_s);
    m_now += 1;
    QCOMPARE(tryCode(1, u"000000"_s), u"code"_s);
    m_now += 1999;
    QCOMPARE(tryCode(1, kCode), u"busy"_s);
    connectClient(2, u"192.168.0.51"_s);
    QCOMPARE(tryCode(2, kCode), u"in"_s);
    m_now += 1;
    QCOMPARE(tryCode(1, kCode), u"in"_s);
    QCOMPARE(m_core->wrongCodeCount(), gateway::kFreeWrongCodes + 1);

    // Many addresses: the budget is spent whoever tries, and then nothing is
    // judged until it grows back.
    m_now += gateway::kCodeBudget * gateway::kCodeRefillMs;
    for (int i = 0; i < gateway::kCodeBudget; ++i) {
        connectClient(100 + i, u"10.0.%1.%2"_s.arg(i / 250).arg(i % 250));
        QCOMPARE(tryCode(100 + i, u"111111"_s), u"code"_s);
    }
    QVERIFY(m_core->codeWaitMs() > 0);
    connectClient(3, u"192.168.0.52"_s);
    QCOMPARE(tryCode(3, kCode), u"busy"_s);
    QCOMPARE(m_core->wrongCodeCount(), gateway::kFreeWrongCodes + 1 + gateway::kCodeBudget);
    // The QR code's key is not held up.
    m_core->handleMessage(3, keyMessage(u"20"_s, m_core->lessonKey()));
    QVERIFY(!last(take(3), u"signedin"_s).isEmpty());
    m_now += gateway::kCodeRefillMs - 1;
    QCOMPARE(tryCode(100, u"111111"_s), u"busy"_s);
    m_now += 1;
    QCOMPARE(m_core->codeWaitMs(), 0);
    QCOMPARE(tryCode(100, u"111111"_s), u"code"_s);
    QCOMPARE(tryCode(101, kCode), u"busy"_s);
    m_now += gateway::kCodeRefillMs;
    QCOMPARE(tryCode(101, kCode), u"in"_s);
}

void TestGatewayCore::typedCodeForms_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("full-width") << u"４８２１９３"_s;
    QTest::newRow("full-width, half-width blank") << u"４８２ １９３"_s;
    QTest::newRow("full-width, ideographic blank") << u"４８２\u3000１９３"_s;
    QTest::newRow("plain, ideographic blank") << u"482\u3000193"_s;
    QTest::newRow("mixed widths, blanks around") << u"\u3000４8２1９3 "_s;
}

// The right code typed as a Japanese input method types it gets in, and is
// no wrong guess: nothing spent, no back-off, no address shown.
void TestGatewayCore::typedCodeForms()
{
    QFETCH(QString, typed);
    connectClient(1);
    for (int seat = 1; seat <= gateway::kFreeWrongCodes + 1; ++seat) {
        m_core->handleMessage(1, signInMessage(QString::number(seat), typed));
        QCOMPARE(last(take(1), u"signedin"_s)[u"seat"_s].toInt(), seat);
        m_core->handleMessage(1, R"({"type":"release"})"_ba);
        m_now += gateway::kSignInWindowMs;
    }
    QCOMPARE(m_core->wrongCodeCount(), 0);
    QVERIFY(m_core->worstAddresses(1).isEmpty());
}

void TestGatewayCore::messageFloodDisconnects()
{
    // Two connections of one address share its budget, control frames
    // included; another address has its own.
    connectClient(1, u"192.168.0.10"_s);
    connectClient(2, u"192.168.0.10"_s);
    connectClient(3, u"192.168.0.77"_s);
    for (int i = 0; i < gateway::kMaxMessagesPerWindow / 2; ++i) {
        m_core->handleMessage(1, "{}"_ba);
        m_core->controlFrame(2);
    }
    m_core->handleMessage(3, "{}"_ba);
    QVERIFY(m_disconnected.isEmpty());
    m_core->controlFrame(2);
    QCOMPARE(m_disconnected, QList<quint64>{2});
    QCOMPARE(reason(2), u"rate"_s);
    m_now += gateway::kMessageWindowMs;
    m_core->handleMessage(1, resumeMessage(u"x"_s));
    QVERIFY(!last(take(1), u"expired"_s).isEmpty());
}

// A connection must sign in soon after it opens; one that holds a seat or
// waits for the teacher stays.
void TestGatewayCore::idleConnectionsAreSwept()
{
    connectClient(1);
    connectClient(2);
    connectClient(3);
    signInAs(2, 30);
    signInAs(3, 31);
    m_core->clientConnected(4, u"192.168.0.10"_s);
    m_core->handleMessage(4, signInMessage(u"30"_s, kCode, true));
    QVERIFY(m_core->isSignedIn(4));
    QVERIFY(m_core->isSignedIn(2));
    QVERIFY(!m_core->isSignedIn(1));
    QVERIFY(!m_core->isSignedIn(99));
    m_now += gateway::kSignInTimeoutMs - 1;
    m_core->handleMessage(3, R"({"type":"release"})"_ba);
    m_core->sweep();
    QVERIFY(m_disconnected.isEmpty());
    m_now += 1;
    m_core->sweep();
    QCOMPARE(m_disconnected, QList<quint64>{1});
    m_now += gateway::kSignInTimeoutMs;
    m_core->sweep();
    QCOMPARE(m_disconnected, (QList<quint64>{1, 3}));
}

void TestGatewayCore::malformedMessagesAreRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("garbage") << "\x00\x01\x02"_ba;
    QTest::newRow("deep nesting") << QByteArray(1000, '[') + QByteArray(1000, ']');
    QTest::newRow("huge") << QByteArray(100'000, 'a');
    QTest::newRow("answer seat 0") << R"({"type":"answer","index":0,"version":0,"seat":0})"_ba;
}

void TestGatewayCore::malformedMessagesAreRefused()
{
    QFETCH(QByteArray, text);
    connectClient(1);
    m_core->handleMessage(1, text);
    const QString reason = last(take(1), u"refused"_s).value(u"reason"_s).toString();
    QVERIFY2(reason == u"malformed"_s || reason == u"notsigned"_s, qPrintable(reason));
    QCOMPARE(m_core->signedInCount(), 0);
}

// A request waits kRequestLifetimeMs for the teacher; a tablet has one, and
// asking again for the same seat keeps its number.
void TestGatewayCore::requestsLapseAndOneATablet()
{
    connectClient(1);
    signInAs(1, 5);
    connectClient(2, u"192.168.0.20"_s);
    connectClient(3, u"192.168.0.20"_s);
    m_core->handleMessage(2, signInMessage(u"5"_s, kCode, true));
    const int id = last(take(2), u"pending"_s)[u"request"_s].toInt();
    // The same tablet's other page asks again: the same request, now that
    // page's; the first is told.
    m_now += 1000;
    m_core->handleMessage(3, signInMessage(u"5"_s, kCode, true));
    QCOMPARE(last(take(3), u"pending"_s)[u"request"_s].toInt(), id);
    QCOMPARE(reason(2), u"denied"_s);
    QCOMPARE(m_core->requests().size(), 1);
    QCOMPARE(m_core->requests().first().address, u"192.168.0.20"_s);
    QCOMPARE(m_core->requests().first().ageMs, 1000);
    QVERIFY(!m_core->isSignedIn(2));
    QVERIFY(m_core->isSignedIn(3) && !m_core->hasSeat(3));

    m_now += gateway::kRequestLifetimeMs - 1001;
    m_core->sweep();
    QCOMPARE(m_core->requests().size(), 1);
    m_now += 1;
    m_core->sweep();
    QVERIFY(m_core->requests().isEmpty());
    QVERIFY(!last(take(3), u"lapsed"_s).isEmpty());
    QVERIFY(!m_core->approve(id));
    QVERIFY(m_core->holdsSeat(5) && m_core->hasSeat(1));

    // A request for another seat replaces it; a few a minute, no more.
    connectClient(4);
    signInAs(4, 6);
    for (int i = 0; i < gateway::kMaxRequestsPerWindow; ++i)
        m_core->handleMessage(3, signInMessage(i % 2 ? u"5"_s : u"6"_s, kCode, true));
    QCOMPARE(m_core->requests().size(), 1);
    QCOMPARE(m_core->requests().first().seat, 6);
    take(3);
    m_core->handleMessage(3, signInMessage(u"5"_s, kCode, true));
    QCOMPARE(reason(3), u"requests"_s);
    QCOMPARE(m_core->requests().first().seat, 6);
}

void TestGatewayCore::requestsOfNeighbours_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("sameRequest");
    QTest::newRow("same IPv4") << u"192.168.0.20"_s << u"192.168.0.20"_s << true;
    QTest::newRow("IPv4 mapped") << u"192.168.0.20"_s << u"::ffff:192.168.0.20"_s << true;
    QTest::newRow("same IPv6 host") << u"2001:db8:1::10"_s << u"2001:db8:1::10"_s << true;
    QTest::newRow("another host of the /64") << u"2001:db8:1::10"_s << u"2001:db8:1::99"_s << false;
}

// Two pages ask for seat 5: a page on the same full address carries the
// request on (a page opened anew); a neighbour in the same /64 never takes
// it over, and what the teacher approves goes to the address shown.
void TestGatewayCore::requestsOfNeighbours()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, sameRequest);
    connectClient(1);
    signInAs(1, 5);
    connectClient(2, first);
    connectClient(3, second);
    m_core->handleMessage(2, signInMessage(u"5"_s, kCode, true));
    const int id = last(take(2), u"pending"_s)[u"request"_s].toInt();
    m_core->handleMessage(3, signInMessage(u"5"_s, kCode, true));
    const int secondId = last(take(3), u"pending"_s)[u"request"_s].toInt();
    QCOMPARE(secondId == id, sameRequest);
    QCOMPARE(reason(2), sameRequest ? u"denied"_s : QString());
    QCOMPARE(m_core->requests().size(), sameRequest ? 1 : 2);
    for (const GatewayCore::TakeOverRequest &request : m_core->requests()) {
        QCOMPARE(request.address,
                 QHostAddress(request.id == id ? first : second).toString().remove(u"::ffff:"_s));
    }
    QVERIFY(m_core->approve(id));
    QCOMPARE(m_core->hasSeat(2), !sameRequest);
    QCOMPARE(m_core->hasSeat(3), sameRequest);
}

void TestGatewayCore::oneTabletOneSeat_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("refused");
    QTest::newRow("same IPv4") << u"192.168.0.5"_s << u"192.168.0.5"_s << u"oneseat"_s;
    QTest::newRow("neighbour") << u"192.168.0.5"_s << u"192.168.0.6"_s << QString();
    QTest::newRow("IPv4 mapped") << u"192.168.0.5"_s << u"::ffff:192.168.0.5"_s << u"oneseat"_s;
    QTest::newRow("same /64") << u"fd00:1:2:3::1"_s << u"fd00:1:2:3:a:b:c:d"_s << u"oneseat"_s;
    QTest::newRow("next /64") << u"fd00:1:2:3::1"_s << u"fd00:1:2:4::1"_s << QString();
    QTest::newRow("link-local") << u"fe80::1"_s << u"fe80::2:3"_s << u"oneseat"_s;
}

// However many connections or addresses in its /64 a tablet uses, it holds
// one seat; a disconnected page's seat still counts.
void TestGatewayCore::oneTabletOneSeat()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, refused);
    connectClient(1, first);
    signInAs(1, 1);
    m_core->clientDisconnected(1);
    connectClient(2, second);
    m_core->handleMessage(2, signInMessage(u"2"_s, kCode));
    QCOMPARE(reason(2), refused);
    QCOMPARE(m_core->holdsSeat(2), refused.isEmpty());
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(2)) == "<missing>"_ba, !refused.isEmpty());
}

void TestGatewayCore::resumeFromAnotherTablet_data()
{
    // A page on `address` comes with the token of seat 1, held by
    // 192.168.0.5; it holds seat `own` (0: none) and has signed in
    // `signIns` times this minute before.
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("own");
    QTest::addColumn<int>("signIns");
    QTest::addColumn<QString>("refused");
    QTest::newRow("the same tablet") << u"192.168.0.5"_s << 0 << 0 << QString();
    QTest::newRow("the same tablet, sign-ins spent")
        << u"192.168.0.5"_s << 0 << gateway::kMaxSignInsPerWindow << QString();
    QTest::newRow("a new address, no seat") << u"192.168.0.9"_s << 0 << 0 << QString();
    QTest::newRow("a tablet holding a seat") << u"192.168.0.9"_s << 10 << 0 << u"oneseat"_s;
    QTest::newRow("IPv6 tablet holding a seat") << u"fd00::9"_s << 10 << 0 << u"oneseat"_s;
    QTest::newRow("a tablet with its sign-ins spent")
        << u"192.168.0.9"_s << 0 << gateway::kMaxSignInsPerWindow << u"signins"_s;
}

// A token picked up from another tablet does not let one tablet collect
// seats: it is a sign-in like any other.
void TestGatewayCore::resumeFromAnotherTablet()
{
    QFETCH(QString, address);
    QFETCH(int, own);
    QFETCH(int, signIns);
    QFETCH(QString, refused);
    connectClient(1, u"192.168.0.5"_s);
    const QString token = signInAs(1, 1);
    connectClient(2, address);
    for (int i = 0; i < signIns; ++i) {
        signInAs(2, 20 + i);
        m_core->handleMessage(2, R"({"type":"release"})"_ba);
    }
    if (own)
        QVERIFY(!signInAs(2, own).isEmpty());
    connectClient(3, address);
    m_core->handleMessage(3, resumeMessage(token));
    const QList<QJsonObject> sent = take(3);
    QCOMPARE(last(sent, u"refused"_s)[u"reason"_s].toString(), refused);
    QCOMPARE(last(sent, u"signedin"_s).isEmpty(), !refused.isEmpty());
    QCOMPARE(m_core->hasSeat(1), !refused.isEmpty());
    QCOMPARE(m_core->signedInCount(), own ? 2 : 1);
    if (refused.isEmpty() && address != u"192.168.0.5"_s) {
        // It counted as a sign-in: a second token picked up is refused.
        connectClient(4, u"192.168.0.6"_s);
        const QString other = signInAs(4, 2);
        m_core->clientDisconnected(3);
        connectClient(5, address);
        m_core->handleMessage(5, resumeMessage(other));
        QCOMPARE(reason(5), u"oneseat"_s);
    }
}

void TestGatewayCore::signInsAMinute()
{
    // One page signs in, lets go and signs in again: kMaxSignInsPerWindow a
    // minute, then it waits; refused sign-ins cost nothing.
    connectClient(1);
    m_core->handleMessage(1, signInMessage(u"0"_s, kCode));
    for (int seat = 1; seat <= gateway::kMaxSignInsPerWindow; ++seat) {
        QVERIFY(!signInAs(1, seat).isEmpty());
        m_core->handleMessage(1, R"({"type":"release"})"_ba);
        m_now += 1000;
    }
    m_core->handleMessage(1, signInMessage(u"9"_s, kCode));
    QCOMPARE(reason(1), u"signins"_s);
    QVERIFY(!m_core->holdsSeat(9));
    m_now += gateway::kSignInWindowMs - gateway::kMaxSignInsPerWindow * 1000;
    QVERIFY(!signInAs(1, 9).isEmpty());
}

void TestGatewayCore::secondSeatTakesTheTeachersApproval()
{
    connectClient(1, u"192.168.0.5"_s);
    connectClient(2, u"192.168.0.5"_s);
    signInAs(1, 7);
    m_core->handleMessage(2, signInMessage(u"8"_s, kCode, true));
    const int id = last(take(2), u"pending"_s)[u"request"_s].toInt();
    QCOMPARE(m_core->requests().first().ownSeat, 7);
    QVERIFY(!m_core->holdsSeat(8));
    QVERIFY(m_core->approve(id));
    QCOMPARE(last(take(2), u"signedin"_s)[u"seat"_s].toInt(), 8);
    QVERIFY(m_core->holdsSeat(7) && m_core->holdsSeat(8));
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(8)), exchange::answerFileBytes(0));
}

void TestGatewayCore::approvedMoveTellsTheSeatLeft_data()
{
    // The tablet holds seat 3 through page 1 and asks for seat 5 through
    // page `asker`; seat 5 is held by another tablet or free.
    QTest::addColumn<int>("asker");
    QTest::addColumn<bool>("fiveHeld");
    QTest::addColumn<bool>("move");
    QTest::newRow("the page itself, seat 5 free") << 1 << false << true;
    QTest::newRow("the page itself, seat 5 held") << 1 << true << true;
    QTest::newRow("another page of the tablet") << 2 << false << false;
}

// One page, one seat: a page that holds a seat and is given another moves,
// the request says so and the page is told of the seat it leaves; its
// answer stays in the seat's file.
void TestGatewayCore::approvedMoveTellsTheSeatLeft()
{
    QFETCH(int, asker);
    QFETCH(bool, fiveHeld);
    QFETCH(bool, move);
    connectClient(1, u"192.168.0.5"_s);
    connectClient(2, u"192.168.0.5"_s);
    connectClient(3, u"192.168.0.8"_s);
    signInAs(1, 3);
    m_core->handleMessage(1, answerMessage(0, m_version));
    if (fiveHeld)
        signInAs(3, 5);
    m_core->handleMessage(asker, signInMessage(u"5"_s, kCode, true));
    const int id = last(take(asker), u"pending"_s)[u"request"_s].toInt();
    QCOMPARE(m_core->requests().first().ownSeat, 3);
    QCOMPARE(m_core->requests().first().move, move);
    take(1);
    QVERIFY(m_core->approve(id));
    const QList<QJsonObject> sent = take(asker);
    QCOMPARE(last(sent, u"signedin"_s)[u"seat"_s].toInt(), 5);
    QCOMPARE(m_core->holdsSeat(3), !move);
    const QString left = last(sent, u"left"_s)[u"message"_s].toString();
    QCOMPARE(left.contains(u"3 から 5"_s), move);
    QCOMPARE(SeatFolder::read(exchange::answerFilePath(3)), exchange::answerFileBytes(1));
}

void TestGatewayCore::teacherFreesASeatAndTurnsATabletAway()
{
    connectClient(1, u"192.168.0.5"_s);
    connectClient(2, u"fd00:1:2:3::1"_s);
    connectClient(3, u"192.168.0.7"_s);
    signInAs(1, 4);
    signInAs(2, 9);
    m_core->handleMessage(3, signInMessage(u"9"_s, kCode, true));
    m_now += 5000;
    const QList<GatewayCore::HeldSeat> held = m_core->heldSeats();
    QCOMPARE(held.size(), 2);
    QCOMPARE(held[1].address, u"fd00:1:2:3::1"_s);
    QCOMPARE(held[1].idleMs, 5000);

    QVERIFY(m_core->releaseSeat(4));
    QVERIFY(!last(take(1), u"released"_s).isEmpty());
    QVERIFY(!m_core->holdsSeat(4) && !m_core->hasSeat(1));
    QVERIFY(!m_core->releaseSeat(4));
    QVERIFY(m_disconnected.isEmpty());

    // Turned away: its seat freed, requests for it told, its page told and
    // let go, and the tablet with any address of its /64 refused from then on.
    QVERIFY(m_core->turnAway(9));
    QCOMPARE(reason(2), u"away"_s);
    QCOMPARE(m_disconnected, QList<quint64>{2});
    QVERIFY(!m_core->holdsSeat(9));
    QVERIFY(!last(take(3), u"seatfree"_s).isEmpty());
    connectClient(4, u"fd00:1:2:3::99"_s);
    QCOMPARE(reason(4), u"away"_s);
    QCOMPARE(m_disconnected, (QList<quint64>{2, 4}));
    QCOMPARE(m_core->turnedAwayCount(), 1);
    QVERIFY(!m_core->turnAway(9));
    m_core->handleMessage(3, signInMessage(u"9"_s, kCode));
    QVERIFY(!last(take(3), u"signedin"_s).isEmpty());
}

// One address alternating the right code and wrong ones for ten minutes
// never empties the budget: every other pupil's right code is judged at once.
void TestGatewayCore::oneAddressCannotLockTheCodeOut()
{
    connectClient(1, u"192.168.0.66"_s);
    signInAs(1, 1);
    m_core->handleMessage(1, R"({"type":"release"})"_ba);
    int judged = 0;
    for (int step = 0; step < 6000; ++step) {
        m_core->handleMessage(1, signInMessage(u"1"_s, step % 2 ? kCode : u"000000"_s));
        judged += reason(1) == u"code"_s;
        QCOMPARE(m_core->codeWaitMs(), 0);
        m_now += 100;
    }
    QVERIFY2(judged < 30, qPrintable(QString::number(judged)));
    connectClient(2);
    QVERIFY(!signInAs(2, 2).isEmpty());
}

void TestGatewayCore::turningGuessersAwayGivesANewCode()
{
    connectClient(1);
    signInAs(1, 3);
    for (int i = 0; i < gateway::kCodeBudget; ++i) {
        connectClient(100 + i, u"10.0.0.%1"_s.arg(i / gateway::kFreeWrongCodes + 1));
        m_core->handleMessage(100 + i, signInMessage(u"7"_s, u"111111"_s));
    }
    QVERIFY(m_core->codeWaitMs() > 0);
    QCOMPARE(m_core->worstAddresses(1).first().count, gateway::kFreeWrongCodes);
    QCOMPARE(m_core->recentWrongCodes(), gateway::kCodeBudget);
    const QString oldCode = m_core->lessonCode();
    const int guessers = gateway::kCodeBudget / gateway::kFreeWrongCodes;
    QCOMPARE(m_core->turnAwayGuessersAndRenewCode(), guessers);
    QVERIFY(m_core->lessonCode() != oldCode);
    QCOMPARE(m_core->lessonCode().size(), gateway::kCodeDigits);
    QVERIFY(m_core->hasSeat(1));
    QCOMPARE(m_disconnected.size(), guessers * gateway::kFreeWrongCodes);
    m_now += gateway::kCodeRefillMs;
    QCOMPARE(m_core->codeWaitMs(), 0);
    connectClient(2);
    m_core->handleMessage(2, signInMessage(u"4"_s, m_core->lessonCode()));
    QVERIFY(!last(take(2), u"signedin"_s).isEmpty());
    m_now += gateway::kWrongCodeRateMs;
    m_core->sweep();
    QCOMPARE(m_core->recentWrongCodes(), 0);
}

void TestGatewayCore::guessersWithSeatsAreTurnedAway_data()
{
    // Each of `tablets` tablets holds a seat and, from `startMs` on, sends a
    // wrong code whenever its own wait allows, for `guessMs`; the button is
    // pressed at 70 s.
    QTest::addColumn<int>("tablets");
    QTest::addColumn<int>("startMs");
    QTest::addColumn<int>("guessMs");
    QTest::addColumn<bool>("turnedAway");
    QTest::newRow("30 seat holders guessing") << 30 << 0 << 70'000 << true;
    QTest::newRow("one seat holder guessing") << 1 << 0 << 70'000 << true;
    QTest::newRow("stopped over a minute ago") << 30 << 0 << 9000 << false;
    QTest::newRow("two typos, no more") << 30 << 60'000 << 600 << false;
}

void TestGatewayCore::guessersWithSeatsAreTurnedAway()
{
    QFETCH(int, tablets);
    QFETCH(int, startMs);
    QFETCH(int, guessMs);
    QFETCH(bool, turnedAway);
    connectClient(1, u"192.168.9.1"_s); // an honest tablet that keeps its seat
    signInAs(1, 50);
    for (int i = 0; i < tablets; ++i) {
        connectClient(100 + i, u"10.1.0.%1"_s.arg(i + 1));
        signInAs(100 + i, i + 1);
        m_core->handleMessage(100 + i, answerMessage(0, m_version));
        take(100 + i);
    }
    // Guess every 300 ms; an honest pupil types the right code every second.
    int honestIn = 0, honestTries = 0, wrong = 0;
    for (m_now = 0; m_now < 70'000; m_now += 100) {
        if (m_now >= startMs && m_now < startMs + guessMs && m_now % 300 == 0) {
            for (int i = 0; i < tablets; ++i) {
                m_core->handleMessage(100 + i, signInMessage(u"45"_s, u"000000"_s));
                wrong += reason(100 + i) == u"code"_s;
            }
        }
        if (m_now % 1000 == 0) {
            ++honestTries;
            connectClient(2, u"192.168.10.%1"_s.arg(honestTries));
            m_core->handleMessage(2, signInMessage(u"40"_s, kCode));
            if (!last(take(2), u"signedin"_s).isEmpty()) {
                ++honestIn;
                m_core->handleMessage(2, R"({"type":"release"})"_ba);
            }
            m_core->clientDisconnected(2);
        }
        m_core->sweep();
    }
    const int away = m_core->turnAwayGuessersAndRenewCode();
    qInfo("%d seat holders: %d wrong codes judged; honest right code in on %d of %d tries; "
          "the button turned away %d",
          tablets, wrong, honestIn, honestTries, away);
    QCOMPARE(away, turnedAway ? tablets : 0);
    QVERIFY(m_core->hasSeat(1));
    for (int i = 0; i < tablets; ++i) {
        QCOMPARE(m_core->holdsSeat(i + 1), !turnedAway);
        QCOMPARE(m_disconnected.contains(100 + i), turnedAway);
        // Nothing is erased: the answer given stays in the seat's file.
        QCOMPARE(SeatFolder::read(exchange::answerFilePath(i + 1)), exchange::answerFileBytes(1));
    }
    connectClient(3, u"10.1.0.1"_s);
    QCOMPARE(m_disconnected.contains(3), turnedAway);
    // The honest pupil who kept typing the right code while held up is no
    // guesser.
    connectClient(5, u"192.168.10.5"_s);
    QVERIFY(!m_disconnected.contains(5));
    // Once they are gone, the new code gets in within kCodeRefillMs, and
    // stays in for the rest of the lesson.
    m_now += gateway::kCodeRefillMs;
    connectClient(4, u"192.168.9.4"_s);
    m_core->handleMessage(4, signInMessage(u"41"_s, m_core->lessonCode()));
    QVERIFY(!last(take(4), u"signedin"_s).isEmpty());
}

void TestGatewayCore::consoleCommands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("verb"); // -1: no command
    QTest::addColumn<int>("number");
    using Verb = gateway::ConsoleCommand::Verb;
    QTest::newRow("許可 1") << u"許可 1"_s << int(Verb::Approve) << 1;
    QTest::newRow("ideographic blank") << u"許可\u30001"_s << int(Verb::Approve) << 1;
    QTest::newRow("full-width digits") << u"許可 １２"_s << int(Verb::Approve) << 12;
    QTest::newRow("blanks around") << u"  断る   3 "_s << int(Verb::Deny) << 3;
    QTest::newRow("y") << u"y 4"_s << int(Verb::Approve) << 4;
    QTest::newRow("N") << u"N 4"_s << int(Verb::Deny) << 4;
    QTest::newRow("空ける") << u"空ける　５"_s << int(Verb::Release) << 5;
    QTest::newRow("no blank") << u"許可３"_s << int(Verb::Approve) << 3;
    QTest::newRow("no blank, two digits") << u"断る12"_s << int(Verb::Deny) << 12;
    QTest::newRow("y, no blank") << u"ｙ１"_s << int(Verb::Approve) << 1;
    QTest::newRow("空ける, no blank") << u"空ける５"_s << int(Verb::Release) << 5;
    QTest::newRow("no blank, zero") << u"許可0"_s << -1 << 0;
    QTest::newRow("number alone") << u"３"_s << -1 << 0;
    QTest::newRow("digits inside the word") << u"許3可"_s << -1 << 0;
    QTest::newRow("no number") << u"許可"_s << -1 << 0;
    QTest::newRow("zero") << u"許可 0"_s << -1 << 0;
    QTest::newRow("three words") << u"許可 1 2"_s << -1 << 0;
    QTest::newRow("unknown word") << u"はい 1"_s << -1 << 0;
    QTest::newRow("empty") << QString() << -1 << 0;
}

void TestGatewayCore::consoleCommands()
{
    QFETCH(QString, line);
    QFETCH(int, verb);
    QFETCH(int, number);
    const std::optional<gateway::ConsoleCommand> command = gateway::readConsoleCommand(line);
    QCOMPARE(command.has_value(), verb >= 0);
    if (command) {
        QCOMPARE(int(command->verb), verb);
        QCOMPARE(command->number, number);
    }
}

void TestGatewayCore::timeMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("running") << u"のこり 1:05"_s;
    QTest::newRow("up") << u"時間です"_s;
    QTest::newRow("off") << QString();
    QTest::newRow("markup and quotes") << u"<b>\"a\\b\"</b>\n"_s;
}

void TestGatewayCore::timeMessage()
{
    QFETCH(QString, text);
    const QByteArray message = gateway::toPage::time(text);
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(message, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(object, (QJsonObject{{u"type"_s, u"time"_s}, {u"text"_s, text}}));
    QVERIFY(!message.contains('\n'));
}

void TestGatewayCore::timeCaptionGoesToSeatedPages()
{
    connectClient(1);
    connectClient(2);
    connectClient(3);
    signInAs(1, 4);
    const QString token = signInAs(2, 5);
    const auto timeSent = [this](quint64 client) {
        const QList<QJsonObject> sent = take(client);
        return sent.size() == 1 && sent.first()[u"type"_s] == u"time"_s
                   ? sent.first()[u"text"_s].toString()
                   : u"(%1 messages)"_s.arg(sent.size());
    };
    QCOMPARE(m_core->timeCaption(), QString());
    m_core->setTimeCaption(u"のこり 1:05"_s);
    QCOMPARE(m_core->timeCaption(), u"のこり 1:05"_s);
    QCOMPARE(timeSent(1), u"のこり 1:05"_s);
    QCOMPARE(timeSent(2), u"のこり 1:05"_s);
    // A page that holds no seat is told nothing; an unchanged caption is
    // not sent again.
    QVERIFY(take(3).isEmpty());
    m_core->setTimeCaption(u"のこり 1:05"_s);
    QVERIFY(take(1).isEmpty());

    // A page away meanwhile gets the caption of now when it comes back.
    m_core->clientDisconnected(2);
    m_core->setTimeCaption(u"のこり 1:04"_s);
    QCOMPARE(timeSent(1), u"のこり 1:04"_s);
    QVERIFY(take(2).isEmpty());
    connectClient(6, u"192.168.1.2"_s);
    m_core->handleMessage(6, resumeMessage(token));
    QCOMPARE(last(take(6), u"time"_s)[u"text"_s].toString(), u"のこり 1:04"_s);

    m_core->setTimeCaption(u"時間です"_s);
    QCOMPARE(timeSent(6), u"時間です"_s);
    QCOMPARE(timeSent(1), u"時間です"_s);
    m_core->setTimeCaption(QString());
    QCOMPARE(timeSent(1), QString());
    QCOMPARE(timeSent(6), QString());
    // Without a limit, a page that comes to a seat is told nothing of it.
    connectClient(7);
    m_core->handleMessage(7, signInMessage(u"8"_s, kCode));
    QVERIFY(last(take(7), u"time"_s).isEmpty());

    // Cut short, never inside a character; the same cut caption is no change.
    m_core->setTimeCaption(QString(gateway::kMaxTimeCaptionChars + 8, u'9'));
    QCOMPARE(m_core->timeCaption(), QString(gateway::kMaxTimeCaptionChars, u'9'));
    QCOMPARE(timeSent(7), m_core->timeCaption());
    const QString cut(gateway::kMaxTimeCaptionChars - 1, u'1');
    m_core->setTimeCaption(cut + u"😀"_s);
    QCOMPARE(m_core->timeCaption(), cut);
    QCOMPARE(timeSent(7), cut);
    m_core->setTimeCaption(cut + u"😀😀"_s);
    QVERIFY(take(7).isEmpty());
    m_core->setTimeCaption(u"😀"_s);
    QCOMPARE(timeSent(7), u"😀"_s);
}

void TestGatewayCore::timeCaptionReachesAPageThatComesToASeat_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("sign-in") << u"signin"_s;
    QTest::newRow("coming back") << u"resume"_s;
    QTest::newRow("take-over approved") << u"takeover"_s;
    QTest::newRow("move approved") << u"move"_s;
}

// A page that comes to a seat is told the time right after the seat, so
// that it never shows a time from before.
void TestGatewayCore::timeCaptionReachesAPageThatComesToASeat()
{
    QFETCH(QString, how);
    m_core->setTimeCaption(u"のこり 0:30"_s);
    connectClient(1, u"192.168.0.5"_s);
    connectClient(2, u"192.168.0.9"_s);
    const QString token = signInAs(1, 5);
    // The page that comes to a seat: another tablet's, or for coming back
    // a new connection of the first tablet.
    const quint64 page = how == u"resume"_s ? 3 : 2;
    if (how == u"resume"_s) {
        m_core->clientDisconnected(1);
        connectClient(3, u"192.168.0.5"_s);
        m_core->handleMessage(3, resumeMessage(token));
    } else if (how == u"takeover"_s || how == u"move"_s) {
        if (how == u"move"_s)
            signInAs(2, 3);
        m_core->handleMessage(2, signInMessage(u"5"_s, kCode, true));
        // A page that waits for the teacher holds no seat.
        const QList<QJsonObject> waiting = take(2);
        QVERIFY(last(waiting, u"time"_s).isEmpty());
        QVERIFY(m_core->approve(last(waiting, u"pending"_s)[u"request"_s].toInt()));
    } else {
        m_core->handleMessage(2, signInMessage(u"6"_s, kCode));
    }
    const QList<QJsonObject> sent = take(page);
    const auto at = [&sent](const QString &type) {
        for (qsizetype i = sent.size() - 1; i >= 0; --i) {
            if (sent[i][u"type"_s] == type)
                return i;
        }
        return qsizetype(-1);
    };
    QVERIFY(at(u"signedin"_s) >= 0);
    QVERIFY(at(u"time"_s) > at(u"signedin"_s));
    QCOMPARE(sent[at(u"time"_s)][u"text"_s].toString(), u"のこり 0:30"_s);
}

QTEST_GUILESS_MAIN(TestGatewayCore)
#include "tst_gatewaycore.moc"
