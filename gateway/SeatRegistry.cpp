#include "SeatRegistry.h"

namespace gateway {

HeldSeatState *SeatRegistry::seat(int number) const
{
    const auto found = m_seats.find(number);
    return found == m_seats.end() ? nullptr : found->second;
}

HeldSeatState *SeatRegistry::seatWithToken(const QString &token) const
{
    for (const auto &[number, held] : m_seats) {
        if (QString::fromLatin1(held->token) == token)
            return held;
    }
    return nullptr;
}

HeldSeatState *SeatRegistry::take(int number)
{
    const auto found = m_seats.find(number);
    if (found == m_seats.end())
        return nullptr;
    HeldSeatState *held = found->second;
    m_seats.erase(found);
    return held;
}

QList<int> SeatRegistry::seatsOf(const QString &key) const
{
    QList<int> numbers;
    for (const auto &[number, held] : m_seats) {
        if (held->holderKey == key)
            numbers << number;
    }
    return numbers;
}

const SeatRegistry::Request *SeatRegistry::request(int id) const
{
    const auto found = m_requests.find(id);
    return found == m_requests.end() ? nullptr : &found->second;
}

const SeatRegistry::Request *SeatRegistry::requestFrom(const QString &address) const
{
    for (const auto &[id, request] : m_requests) {
        if (request.address == address)
            return &request;
    }
    return nullptr;
}

int SeatRegistry::file(int seat, quint64 client, const QString &key, const QString &address,
                       qint64 at)
{
    const int id = m_nextRequest++;
    m_requests.emplace(id, Request{id, seat, client, key, address, at});
    return id;
}

std::optional<SeatRegistry::Request> SeatRegistry::remove(int id)
{
    const auto found = m_requests.find(id);
    if (found == m_requests.end())
        return std::nullopt;
    Request request = found->second;
    m_requests.erase(found);
    return request;
}

void SeatRegistry::rebind(int id, quint64 client)
{
    const auto found = m_requests.find(id);
    if (found != m_requests.end())
        found->second.client = client;
}

QList<int> SeatRegistry::requestsFor(int seat) const
{
    QList<int> ids;
    for (const auto &[id, request] : m_requests) {
        if (request.seat == seat)
            ids << id;
    }
    return ids;
}

QList<int> SeatRegistry::requestsOfClient(quint64 client) const
{
    QList<int> ids;
    for (const auto &[id, request] : m_requests) {
        if (request.client == client)
            ids << id;
    }
    return ids;
}

QList<int> SeatRegistry::lapsedBy(qint64 at) const
{
    QList<int> ids;
    for (const auto &[id, request] : m_requests) {
        if (at - request.filed >= kRequestLifetimeMs)
            ids << id;
    }
    return ids;
}

} // namespace gateway
