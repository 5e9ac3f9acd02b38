#include "wifinetworkregistration.h"

#include "networkservice.h"
#include "novumparcel.h"

#include <QVariantMap>

namespace {

// A missing property, or one that is not text, is an empty string.
QString text(const QVariantMap &map, const char *key)
{
    const QVariant value = map.value(QLatin1String(key));
    return value.userType() == QMetaType::QString ? value.toString() : QString(QLatin1String(""));
}

} // namespace

WifiNetworkRegistration WifiNetworkRegistration::fromService(const NetworkService &service)
{
    WifiNetworkRegistration r;
    r.name = service.name().isNull() ? QString(QLatin1String("")) : service.name();
    r.address = text(service.ethernet(), "Address").toLower();
    r.connected = service.connected();
    r.is5GHz = service.frequency() > 3000;
    r.hidden = service.hidden();
    r.rssi = int32_t(service.strength() / 2) - 100;
    r.linkSpeedMbps = int32_t(service.maxRate() / 1000000);
    r.frequencyMHz = service.frequency();
    const QVariantMap ipv4 = service.ipv4();
    r.ipv4Address = text(ipv4, "Address");
    r.ipv4Netmask = text(ipv4, "Netmask");
    r.ipv4Gateway = text(ipv4, "Gateway");
    const QStringList servers = service.nameservers();
    if (servers.size() > 0)
        r.nameserver1 = servers.at(0);
    if (servers.size() > 1)
        r.nameserver2 = servers.at(1);
    const QVariantMap ipv6 = service.ipv6();
    r.ipv6Address = text(ipv6, "Address");
    r.ipv6Netmask = text(ipv6, "Netmask");
    r.ipv6Gateway = text(ipv6, "Gateway");
    return r;
}

void WifiNetworkRegistration::write(NovumParcel &p) const
{
    p.writeString(name);
    p.writeString(address);
    p.writeString(QLatin1String(""));
    p.writeString(QLatin1String(""));
    p.writeBool(connected);
    p.writeInt32(0);
    p.writeBool(is5GHz);
    p.writeBool(hidden);
    p.writeInt32(rssi);
    p.writeInt32(linkSpeedMbps);
    p.writeInt32(frequencyMHz);
    p.writeString(ipv4Address);
    p.writeString(ipv4Netmask);
    p.writeString(ipv4Gateway);
    p.writeString(nameserver1);
    p.writeString(nameserver2);
    p.writeString(ipv6Address);
    p.writeString(ipv6Netmask);
    p.writeString(ipv6Gateway);
}
