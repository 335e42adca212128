#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QString>

namespace gateway {

// Who the gateway answers, under which names: the whole network policy.

// A subnet of one of the machine's own interfaces.
struct Subnet
{
    QHostAddress address;
    int prefixLength = 0;
};
// The subnets of the interfaces that are up, loopback left out.
QList<Subnet> ownSubnets();

// An IPv4 address mapped into IPv6 as the IPv4 address, anything else as it is.
QHostAddress plainAddress(const QHostAddress &address);
// What counts as one tablet: an IPv4 address, or the /64 an IPv6 address
// lies in ("fd12:3456:0:1::/64"), since a single device may take any number
// of addresses in its /64 at will. Every budget and cap per address is kept
// under this key.
QString addressKey(const QHostAddress &address);
// fe80::/10 and 169.254.0.0/16.
bool isLinkLocal(const QHostAddress &address);

// Whether a peer is served: the loopback, or an address on one of subnets
// (an IPv4 address mapped into IPv6 counts as the IPv4 address). A
// link-local peer is served only when it reached one of the machine's own
// link-local addresses (local): every interface has such a subnet, and it
// would otherwise let in whatever shares any link with the machine.
bool isServedPeer(const QHostAddress &peer, const QList<Subnet> &subnets,
                  const QHostAddress &local = {});
// Whether a request's Host names this gateway: localhost, a loopback address
// or the address of one of subnets, with the gateway's port (which may be
// left out only when it is 80).
bool isOwnHost(QByteArrayView host, quint16 port, const QList<Subnet> &subnets);

// How the gateway answers a request before any route; the values are the
// HTTP statuses of the refusals.
enum class Verdict {
    Serve = 0,
    // An upgrade anywhere but /ws.
    BadUpgrade = 400,
    // A WebSocket from a page of another origin.
    ForeignOrigin = 403,
    // A Host that is not the gateway's.
    ForeignHost = 421,
    // /ws without an upgrade.
    UpgradeRequired = 426,
};
struct RequestHead
{
    QByteArray host;
    QString path;
    bool upgrade = false;
    QByteArray origin;
};
Verdict verdictFor(const RequestHead &request, quint16 port, const QList<Subnet> &subnets);

// The address to give the pupils: the first private IPv4 address of an
// interface that is up, else its first IPv4 address, else the loopback
// address.
QHostAddress lanAddress();

} // namespace gateway
