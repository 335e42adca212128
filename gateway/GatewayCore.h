#pragma once

#include "gateway/Admission.h"
#include "gateway/Protocol.h"
#include "gateway/SeatRegistry.h"

#include "exchange/ChangeWatch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace gateway {

// A connection that holds no seat and has asked for none is closed after this
// long: the page opens its connection to sign in or to come back.
inline constexpr int kSignInTimeoutMs = 10'000;
// How often connections that did not sign in, lapsed requests and old
// per-address counts are swept away.
inline constexpr int kSweepMs = 1000;

// Stands in for one pupil's program per seat a browser holds: every such seat
// has its own student::Module1 and student::SeatSession, signed in through
// student::signIn and answered through the panel's own click. The browsers'
// connections are known only as numbers; what goes to them and the order to
// drop one leave through the sink, so the logic runs without a network in
// tests. Who may try what is Admission's; who holds what, SeatRegistry's;
// the messages' form, Protocol's.
//
// A seat held by a page moves to another only with consent: its own page
// coming back with the seat's token (a reload, a lost connection, another tab
// of the same browser, which then takes the seat and tells the old tab), or
// the teacher approving that very page's request in the gateway's window. A
// seat its page or the teacher lets go is free: pages that had asked for it
// are told and must sign in again. A seat that moves goes on as it stands,
// its answer and lock kept.
//
// One tablet, one seat: an address (an IPv6 /64 counting as one) holds at
// most one seat, signs in to at most kMaxSignInsPerWindow seats a minute and
// files at most kMaxRequestsPerWindow requests a minute; a full address has
// at most one request, and a request lapses after kRequestLifetimeMs. A
// second seat for a tablet takes the teacher's approval of its request. The
// teacher may turn a tablet away for the rest of the lesson.
class GatewayCore : public QObject
{
    Q_OBJECT

public:
    struct Sink
    {
        std::function<void(quint64 client, const QByteArray &message)> send;
        std::function<void(quint64 client)> disconnect;
    };
    using Clock = gateway::Clock;

    // A seat held by a browser, for the teacher's window.
    struct HeldSeat
    {
        int seat = 0;
        bool connected = false;
        // The tablet's address, and how long its page has been quiet.
        QString address;
        qint64 idleMs = 0;
    };
    // A page's request for a seat.
    struct TakeOverRequest
    {
        int id = 0;
        int seat = 0;
        QString address;
        qint64 ageMs = 0;
        // The seat the requesting tablet holds already (0: none).
        int ownSeat = 0;
        // The requesting page itself holds ownSeat: approved, it moves from
        // that seat to this one, which frees ownSeat (one page, one seat).
        bool move = false;
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
    void setClock(Clock clock) { m_admission.setClock(std::move(clock)); }

    const QString &lessonCode() const { return m_admission.lessonCode(); }
    const QString &lessonKey() const { return m_lessonKey; }

    // Starts the held seats' sessions and the watch on their command files;
    // stop() polls every held seat a last time (a closing lesson's mode 0
    // reaches the pages as the end) and stops them. Seats, tokens and the
    // codes outlast a stop, for the pages to come back after a start.
    void start();
    void stop();
    bool isStarted() const { return m_started; }

    // address is the peer's as the socket gives it.
    void clientConnected(quint64 client, const QString &address);
    void clientDisconnected(quint64 client);
    void handleMessage(quint64 client, QByteArrayView text);
    // A ping or pong from the client: it counts toward its address's budget.
    void controlFrame(quint64 client);
    // Whether the client holds a seat or waits for one.
    bool isSignedIn(quint64 client) const;
    // Whether the client holds a seat; the server drops other connections
    // first when it runs short.
    bool hasSeat(quint64 client) const;
    // Closes connections that did not sign in in time, lets lapsed requests
    // go and forgets expired per-address counts; runs every kSweepMs while
    // started.
    void sweep();

    // Reads every held seat's command file now and pushes changed views.
    void pollAll();

    // The time left to answer as the teacher's program shows it ("" without
    // a limit), cut to kMaxTimeCaptionChars: a change goes to every page
    // that holds a seat, and a page that comes to a seat gets it at once.
    void setTimeCaption(const QString &caption);
    const QString &timeCaption() const { return m_timeCaption; }

    // The teacher's answer to a request: the seat moves to the requesting
    // page, or the page is told no. False for a request that is gone.
    bool approve(int requestId);
    bool deny(int requestId);
    // The teacher frees a seat; its page is told. False for a seat no
    // browser holds.
    bool releaseSeat(int seat);
    // The teacher turns the tablet that holds seat away for the rest of the
    // lesson: its seats are freed, its requests dropped, its pages told and
    // closed, and it can sign in no more.
    bool turnAway(int seat);
    // Turns away, as turnAway() does, every tablet that keeps guessing (see
    // Admission::guessers()), whether it holds a seat or not, and gives out
    // a new lesson code; tablets that were not guessing keep their seats.
    // Returns how many tablets were turned away.
    int turnAwayGuessersAndRenewCode();

    // Seats held by a browser, connected or not, by seat number.
    QList<HeldSeat> heldSeats() const;
    QList<TakeOverRequest> requests() const;
    int signedInCount() const { return int(m_registry.seats().size()); }
    // Seats whose browser is connected right now.
    int connectedCount() const;
    bool holdsSeat(int seat) const { return m_registry.seat(seat) != nullptr; }
    // Wrong lesson codes judged in this lesson, and in the last minute.
    int wrongCodeCount() const { return m_admission.wrongCodeCount(); }
    int recentWrongCodes() const { return m_admission.recentWrongCodes(); }
    QList<Admission::AddressCount> worstAddresses(int count) const
    {
        return m_admission.worstAddresses(count);
    }
    int turnedAwayCount() const { return m_registry.turnedAwayCount(); }
    // How long a typed code must wait before it is judged (0: at once).
    qint64 codeWaitMs() const { return m_admission.codeWaitMs(); }

signals:
    // Held seats, connections, requests or the wrong codes changed.
    void changed();

private:
    struct Client
    {
        QString address;
        QString key;
        // The full address in its plain form; requests are filed under it.
        QString place;
        std::optional<int> seat;
        std::optional<int> request;
        // Since when it has held no seat and asked for none.
        qint64 idleSince = 0;
        // Told to go; nothing it sends counts any more.
        bool dropped = false;
    };

    void send(quint64 client, const QByteArray &message);
    static QByteArray refusal(const QString &reason, const QString &text);
    void refuse(quint64 client, const QString &reason, const QString &text);
    void refuseTooManySignIns(quint64 client);
    void drop(quint64 client);
    bool withinRate(quint64 client, const Client &state);
    // Whether the sign-in's code or key opens the lesson; refuses it if not.
    bool admitted(quint64 client, const Client &state, const BrowserMessage &message);
    void signIn(quint64 client, Client &state, const BrowserMessage &message);
    // A new seat for the client, signed in as the pupil's program does.
    bool takeFreeSeat(quint64 client, Client &state, int seat, const QString &entry);
    void requestSeat(quint64 client, Client &state, int seat);
    void resume(quint64 client, Client &state, const BrowserMessage &message);
    void answer(quint64 client, Client &state, const BrowserMessage &message);
    void release(quint64 client, Client &state);
    // Drops a request, telling its page toPage (nothing if empty).
    void withdraw(int requestId, const QByteArray &toPage);
    void attach(quint64 client, Client &state, int seat, HeldSeatState &held);
    void detach(HeldSeatState &held);
    void dropRequestOf(Client &state);
    // Frees the tablet's seats, drops its requests, tells and closes its
    // pages, and refuses it from now on.
    void turnAwayTablet(const QString &key);
    void freeSeat(int seat);
    void pushView(HeldSeatState &held, bool force = false);
    void updateWatch();
    qint64 now() const { return m_admission.now(); }

    QString m_lessonKey;
    Admission m_admission;
    SeatRegistry m_registry;
    Sink m_sink;
    bool m_started = false;
    QHash<quint64, Client> m_clients;
    // Whether typed codes wait, as last told through changed().
    bool m_codesWait = false;
    QString m_timeCaption;
    exchange::ChangeWatch m_watch;
    QTimer m_sweepTimer;
};

// Texts the pages show for each refusal; also used by the tests.
QString wrongCodeMessage();
QString seatHeldMessage();

} // namespace gateway
