#include "NetworkPolicy.h"

#include <QNetworkInterface>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gateway {
namespace {

bool isPrivateIPv4(quint32 ip)
{
    return (ip >> 24) == 10 || (ip >> 20) == ((172u << 4) | 1u) ||
           (ip >> 16) == ((192u << 8) | 168u);
}

} // namespace

QList<Subnet> ownSubnets()
{
    QList<Subnet> subnets;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.prefixLength() > 0)
                subnets.append({plainAddress(entry.ip()), entry.prefixLength()});
        }
    }
    return subnets;
}

QHostAddress plainAddress(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

QString addressKey(const QHostAddress &address)
{
    const QHostAddress plain = plainAddress(address);
    if (plain.protocol() != QAbstractSocket::IPv6Protocol)
        return plain.toString();
    Q_IPV6ADDR bytes = plain.toIPv6Address();
    std::fill(bytes.c + 8, bytes.c + 16, quint8(0));
    return QHostAddress(bytes).toString() + u"/64"_s;
}

bool isLinkLocal(const QHostAddress &address)
{
    return plainAddress(address).isLinkLocal();
}

bool isServedPeer(const QHostAddress &peer, const QList<Subnet> &subnets,
                  const QHostAddress &local)
{
    const QHostAddress plain = plainAddress(peer);
    if (plain.isLoopback())
        return true;
    if (plain.isLinkLocal())
        return isLinkLocal(local);
    return std::any_of(subnets.begin(), subnets.end(), [&plain](const Subnet &subnet) {
        return subnet.prefixLength > 0 && plain.isInSubnet(subnet.address, subnet.prefixLength);
    });
}

bool isOwnHost(QByteArrayView host, quint16 port, const QList<Subnet> &subnets)
{
    // Read as a URL's authority: a name or an address ([...] for IPv6), and
    // a port.
    const QUrl url(u"http://"_s + QString::fromLatin1(host), QUrl::StrictMode);
    if (!url.isValid() || url.port(80) != port)
        return false;
    if (url.host() == "localhost"_L1)
        return true;
    QHostAddress address;
    if (!address.setAddress(url.host()))
        return false;
    address = plainAddress(address);
    return address.isLoopback() ||
           std::any_of(subnets.begin(), subnets.end(),
                       [&address](const Subnet &subnet) { return subnet.address == address; });
}

Verdict verdictFor(const RequestHead &request, quint16 port, const QList<Subnet> &subnets)
{
    if (!isOwnHost(request.host, port, subnets))
        return Verdict::ForeignHost;
    if (request.path != "/ws"_L1)
        return request.upgrade ? Verdict::BadUpgrade : Verdict::Serve;
    if (!request.upgrade)
        return Verdict::UpgradeRequired;
    // Only the gateway's own page, under the name it was opened with.
    if (request.origin.compare("http://"_ba + request.host, Qt::CaseInsensitive) != 0)
        return Verdict::ForeignOrigin;
    return Verdict::Serve;
}

QHostAddress lanAddress()
{
    // A school may number its rooms with public addresses too.
    QHostAddress found(QHostAddress::LocalHost);
    for (const Subnet &subnet : ownSubnets()) {
        const QHostAddress &ip = subnet.address;
        if (ip.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (isPrivateIPv4(ip.toIPv4Address()))
            return ip;
        if (found.isLoopback())
            found = ip;
    }
    return found;
}

} // namespace gateway
