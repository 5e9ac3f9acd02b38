#pragma once

#include <QString>

#include <cstdint>

class NetworkService;
class NovumParcel;

// What "novum.connectivity" is told of the host's Wi-Fi network when it is
// registered (code 1), taken from the connection manager's service.
struct WifiNetworkRegistration
{
    QString name;
    // The interface's MAC address, lower-cased.
    QString address;
    bool connected = false;
    bool is5GHz = false;
    bool hidden = false;
    int32_t rssi = -100;         // dBm
    int32_t linkSpeedMbps = 0;
    int32_t frequencyMHz = 0;
    QString ipv4Address;
    QString ipv4Netmask;
    QString ipv4Gateway;
    // Null strings when the service has fewer name servers.
    QString nameserver1;
    QString nameserver2;
    QString ipv6Address;
    QString ipv6Netmask;
    QString ipv6Gateway;

    static WifiNetworkRegistration fromService(const NetworkService &service);
    // The request in the order the Android service reads it.
    void write(NovumParcel &parcel) const;
};
