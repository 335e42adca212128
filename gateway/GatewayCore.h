#pragma once

#include "gateway/Protocol.h"

#include "exchange/ChangeWatch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>

namespace gateway {

// Messages, control frames included, that one address may send in a window;
// every connection from the address draws on the same budget.
inline constexpr int kMessageWindowMs = 1000;
inline constexpr int kMaxMessagesPerWindow = 40;
// A connection that holds no seat and has asked for none is closed after this
// long: the page opens its connection to sign in or to come back.
inline constexpr int kSignInTimeoutMs = 10'000;
// How often connections that did not sign in and old per-address counts are
// swept away.
inline constexpr int kSweepMs = 1000;

// Guessing the typed lesson code. The code has kCodeDigits = 6 digits, a
// million codes, short enough to read off a projector. A wrong code is judged
// only while the lesson's budget has one to spend: it holds kCodeBudget = 100
// and gains one every kCodeRefillMs = 4 s, shared by all addresses; a try
// made while it is empty is not judged at all, right or wrong. However many
// addresses an attacker uses, a 50-minute lesson judges at most
// 100 + 50 * 60 / 4 = 850 wrong codes, so the chance to find the code is at
// most 850 / 1,000,000 = 0.085 %, under 0.1 %. Each address is also slowed
// on its own: after kFreeWrongCodes = 3 wrong codes it waits 1, 2, 4 ... up
// to kMaxAddressDelayMs = 32 s before its next code is judged, and its count
// is forgotten kAddressMemoryMs after its last wrong code. Once an attack
// stops, the budget has a code to spend within 4 s and an address waits at
// most 32 s, so a pupil typing the right code is let in within a minute.
// Pupils who scan the QR code carry the lesson key (128 random bits) instead
// and are never slowed.
inline constexpr int kCodeDigits = 6;
inline constexpr int kCodeBudget = 100;
inline constexpr int kCodeRefillMs = 4000;
inline constexpr int kFreeWrongCodes = 3;
inline constexpr int kMaxAddressDelayMs = 32'000;
inline constexpr int kAddressMemoryMs = 10 * 60'000;

// Stands in for one pupil's program per seat a browser holds: every such seat
// has its own student::Module1 and student::SeatSession, signed in through
// student::signIn and answered through the panel's own click. The browsers'
// connections are known only as numbers; what goes to them and the order to
// drop one leave through the sink, so the logic runs without a network in
// tests.
//
// A seat held by a page moves to another only with consent: its own page
// coming back with the seat's token (a reload, a lost connection, another tab
// of the same browser, which then takes the seat and tells the old tab), the
// teacher approving a page's request in the gateway's window, or the holding
// page giving the seat up (to the page that has asked for it longest, if
// any). A seat that moves goes on as it stands, its answer and lock kept.
class GatewayCore : public QObject
{
    Q_OBJECT

public:
    struct Sink
    {
        std::function<void(quint64 client, const QByteArray &message)> send;
        std::function<void(quint64 client)> disconnect;
    };
    using Clock = std::function<qint64()>;

    // A seat held by a browser, for the teacher's window.
    struct HeldSeat
    {
        int seat = 0;
        bool connected = false;
    };
    // A page's request to take over a seat that another page holds.
    struct TakeOverRequest
    {
        int id = 0;
        int seat = 0;
    };

    explicit GatewayCore(QString lessonCode = newLessonCode(), QString lessonKey = newLessonKey(),
                         QObject *parent = nullptr);
    ~GatewayCore() override;

    // A fresh code of kCodeDigits digits, and a fresh key of 128 random bits
    // (22 characters of base64url).
    static QString newLessonCode();
    static QString newLessonKey();

    void setSink(Sink sink) { m_sink = std::move(sink); }
    // Milliseconds of a steady clock; tests step it by hand.
    void setClock(Clock clock);

    const QString &lessonCode() const { return m_lessonCode; }
    const QString &lessonKey() const { return m_lessonKey; }

    // Starts the held seats' sessions and the watch on their command files;
    // stop() polls every held seat a last time (a closing lesson's mode 0
    // reaches the pages as the end) and stops them. Seats, tokens and the
    // codes outlast a stop, for the pages to come back after a start.
    void start();
    void stop();
    bool isStarted() const { return m_started; }

    void clientConnected(quint64 client, const QString &address);
    void clientDisconnected(quint64 client);
    void handleMessage(quint64 client, QByteArrayView text);
    // A ping or pong from the client: it counts toward its address's budget.
    void controlFrame(quint64 client);
    // Whether the client holds a seat or waits for one; the server drops
    // other connections first when it runs short.
    bool isSignedIn(quint64 client) const;
    // Closes connections that did not sign in in time and forgets expired
    // per-address counts; runs every kSweepMs while started.
    void sweep();

    // Reads every held seat's command file now and pushes changed views.
    void pollAll();

    // The teacher's answer to a request: the seat moves to the requesting
    // page, or the page is told no. False for a request that is gone.
    bool approve(int requestId);
    bool deny(int requestId);

    // Seats held by a browser, connected or not, by seat number.
    QList<HeldSeat> heldSeats() const;
    QList<TakeOverRequest> requests() const;
    int signedInCount() const { return int(m_seats.size()); }
    // Seats whose browser is connected right now.
    int connectedCount() const;
    bool holdsSeat(int seat) const { return m_seats.count(seat) != 0; }
    // Wrong lesson codes judged in this lesson.
    int wrongCodeCount() const { return m_wrongCodes; }
    // How long a typed code must wait before it is judged (0: at once).
    qint64 codeWaitMs() const;

signals:
    // Held seats, connections, requests or the wrong codes changed.
    void changed();

private:
    struct Seat;
    struct Client
    {
        QString address;
        std::optional<int> seat;
        std::optional<int> request;
        // Since when it has held no seat and asked for none.
        qint64 idleSince = 0;
        // Told to go; nothing it sends counts any more.
        bool dropped = false;
    };
    struct Request
    {
        int seat = 0;
        quint64 client = 0;
    };
    struct RateWindow
    {
        qint64 start = 0;
        int count = 0;
    };
    struct CodeAttempts
    {
        int wrong = 0;
        qint64 lastWrong = 0;
    };

    void send(quint64 client, const QByteArray &message);
    static QByteArray refusal(const QString &reason, const QString &text);
    void refuse(quint64 client, const QString &reason, const QString &text);
    void drop(quint64 client);
    bool withinRate(quint64 client, const Client &state);
    // Whether the sign-in's code or key opens the lesson; refuses it if not.
    bool admitted(quint64 client, const Client &state, const BrowserMessage &message);
    void signIn(quint64 client, Client &state, const BrowserMessage &message);
    void requestTakeOver(quint64 client, Client &state, int seat);
    void resume(quint64 client, Client &state, const BrowserMessage &message);
    void answer(quint64 client, Client &state, const BrowserMessage &message);
    void release(quint64 client, Client &state);
    // Moves the seat of a request to its page, telling the holder toHolder.
    bool handOver(int requestId, const QByteArray &toHolder);
    // Drops a request, telling its page toPage (nothing if empty).
    std::map<int, Request>::iterator withdraw(std::map<int, Request>::iterator request,
                                              const QByteArray &toPage);
    void attach(quint64 client, Client &state, int seat, Seat &held);
    void detach(Seat &held);
    void dropRequestOf(Client &state);
    void freeSeat(int seat);
    void pushView(Seat &held, bool force = false);
    void updateWatch();
    qint64 now() const;

    QString m_lessonCode;
    QString m_lessonKey;
    Sink m_sink;
    Clock m_clock;
    bool m_started = false;
    std::map<int, Seat *> m_seats;
    QHash<quint64, Client> m_clients;
    std::map<int, Request> m_requests;
    int m_nextRequest = 1;
    QHash<QString, RateWindow> m_rates;
    QHash<QString, CodeAttempts> m_codeAttempts;
    // The typed-code budget: whole kCodeRefillMs since this moment are codes
    // to spend, at most kCodeBudget of them.
    qint64 m_codeBudgetFrom = 0;
    int m_wrongCodes = 0;
    // Whether typed codes wait, as last told through changed().
    bool m_codesWait = false;
    exchange::ChangeWatch m_watch;
    QTimer m_sweepTimer;
};

// Texts the pages show for each refusal; also used by the tests.
QString wrongCodeMessage();
QString seatHeldMessage();

} // namespace gateway
