#pragma once

#include "student/SeatSession.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <map>
#include <optional>

namespace gateway {

// A request not answered by the teacher within this long lapses: the page
// must ask again, and tell the teacher the new number.
inline constexpr int kRequestLifetimeMs = 2 * 60'000;

// One seat a browser holds: the pupil's program's state and session, the
// tablet that holds it, and what the gateway keeps for its page.
struct HeldSeatState : QObject
{
    explicit HeldSeatState(QObject *parent)
        : QObject(parent), session(module, student::SeatSession::Watch::ByCaller, this)
    {
    }

    student::Module1 module;
    student::SeatSession session;
    QByteArray token;
    // The page connected for it now, if any.
    std::optional<quint64> client;
    // The tablet that holds it, connected or not (see addressKey()), and
    // its address as the teacher reads it.
    QString holderKey;
    QString holderAddress;
    // When its page last sent something or came and went.
    qint64 lastActive = 0;
    // Goes up whenever the question or the buttons change; an answer names
    // the version it was given on.
    qint64 version = 0;
    QByteArray shownContent;
    // The view of the last whole read of the command file, and what the
    // page was last sent.
    QByteArray view;
    QByteArray lastSent;
};

// The seats browsers hold, the pages' requests for seats, and the tablets
// the teacher has turned away; who holds what, and nothing about how pages
// are told.
class SeatRegistry
{
public:
    // A page's request for a seat: held by another page, or a second seat
    // for a tablet that holds one already.
    struct Request
    {
        int id = 0;
        int seat = 0;
        quint64 client = 0;
        QString key;
        // The full address, in its plain form (see plainAddress()).
        QString address;
        qint64 filed = 0;
    };

    SeatRegistry() = default;
    SeatRegistry(const SeatRegistry &) = delete;
    SeatRegistry &operator=(const SeatRegistry &) = delete;

    const std::map<int, HeldSeatState *> &seats() const { return m_seats; }
    HeldSeatState *seat(int number) const;
    HeldSeatState *seatWithToken(const QString &token) const;
    void add(int number, HeldSeatState *seat) { m_seats.emplace(number, seat); }
    // Takes the seat out; the caller disposes of it.
    HeldSeatState *take(int number);
    // The seats a tablet holds, by number.
    QList<int> seatsOf(const QString &key) const;

    const std::map<int, Request> &requests() const { return m_requests; }
    const Request *request(int id) const;
    // The one request of a page on this full address, if any. Hosts that
    // share an IPv6 /64 (one key) have a request each: none takes over
    // another's.
    const Request *requestFrom(const QString &address) const;
    int file(int seat, quint64 client, const QString &key, const QString &address, qint64 at);
    std::optional<Request> remove(int id);
    // The request is now that of another page on the same full address.
    void rebind(int id, quint64 client);
    QList<int> requestsFor(int seat) const;
    QList<int> requestsOfClient(quint64 client) const;
    QList<int> lapsedBy(qint64 at) const;

    void turnAway(const QString &key) { m_turnedAway.insert(key); }
    bool isTurnedAway(const QString &key) const { return m_turnedAway.contains(key); }
    int turnedAwayCount() const { return int(m_turnedAway.size()); }

private:
    std::map<int, HeldSeatState *> m_seats;
    std::map<int, Request> m_requests;
    int m_nextRequest = 1;
    QSet<QString> m_turnedAway;
};

} // namespace gateway
