// The connectivity service's registration request as it is built from the
// connection manager's Wi-Fi service.
#include "networkservice.h"
#include "novumparcel.h"
#include "wifi/wifinetworkregistration.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <QStringList>

#include <gtest/gtest.h>

void PrintTo(const QString &s, std::ostream *os)
{
    *os << s.toStdString();
}

using ferry::binder::Reader;
using ferry::binder::Writer;

namespace {

// Every field of the request as written, strings as text with null shown
// as "<null>", so a field out of place or of another type shows.
QStringList fields(const WifiNetworkRegistration &r)
{
    Writer w;
    NovumParcel out(&w);
    r.write(out);
    const std::vector<uint8_t> bytes = w.data();
    Reader reader(bytes.data(), bytes.size());
    NovumParcel in(&reader);
    QStringList list;
    const auto s = [&] {
        const QString v = in.readString();
        list << (v.isNull() ? QStringLiteral("<null>") : v);
    };
    const auto i = [&] { list << QString::number(in.readInt32()); };
    const auto b = [&] { list << (in.readBool() ? QStringLiteral("true") : QStringLiteral("false")); };
    s(), s(), s(), s(), b(), i(), b(), b(), i(), i(), i();
    for (int k = 0; k < 8; ++k)
        s();
    list << (in.atEnd() ? QStringLiteral("end") : QStringLiteral("more"));
    return list;
}

TEST(WifiNetworkRegistration, RequestLayoutFromServiceProperties)
{
    const QVariantMap full{
        {"Name", "Home"},
        {"State", "online"},
        {"Strength", QVariant::fromValue(uchar(70))},
        {"MaxRate", QVariant::fromValue(quint32(72000000))},
        {"Frequency", QVariant::fromValue(quint16(5180))},
        {"Hidden", true},
        {"Ethernet", QVariantMap{{"Address", "02:00:00:AB:CD:EF"}}},
        {"IPv4", QVariantMap{{"Address", "192.168.1.23"}, {"Netmask", "255.255.255.0"}, {"Gateway", "192.168.1.1"}}},
        {"IPv6", QVariantMap{{"Address", "fd00::23"}, {"Netmask", "64"}, {"Gateway", "fd00::1"}}},
        {"Nameservers", QStringList{"192.168.1.1", "8.8.8.8", "9.9.9.9"}},
    };
    auto with = [&](const QVariantMap &changes) {
        QVariantMap m = full;
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            if (it.value().isValid())
                m.insert(it.key(), it.value());
            else
                m.remove(it.key());
        }
        return m;
    };
    struct Row
    {
        const char *what;
        QVariantMap properties;
        QString expected;
    };
    const Row rows[] = {
        {"5 GHz network, two of three name servers",
         full,
         "Home|02:00:00:ab:cd:ef|||true|0|true|true|-65|72|5180|192.168.1.23|255.255.255.0|192.168.1.1|"
         "192.168.1.1|8.8.8.8|fd00::23|64|fd00::1|end"},
        {"one name server: first, then null",
         with({{"Nameservers", QStringList{"1.1.1.1"}}}),
         "Home|02:00:00:ab:cd:ef|||true|0|true|true|-65|72|5180|192.168.1.23|255.255.255.0|192.168.1.1|"
         "1.1.1.1|<null>|fd00::23|64|fd00::1|end"},
        {"2.4 GHz, weak, slow, visible, no name servers",
         with({{"Frequency", 2412}, {"Strength", QVariant::fromValue(uchar(1))}, {"MaxRate", 5500000},
               {"Hidden", false}, {"Nameservers", QVariant()}}),
         "Home|02:00:00:ab:cd:ef|||true|0|false|false|-100|5|2412|192.168.1.23|255.255.255.0|192.168.1.1|"
         "<null>|<null>|fd00::23|64|fd00::1|end"},
        {"just above 3000 MHz counts as 5 GHz", with({{"Frequency", 3001}}),
         "Home|02:00:00:ab:cd:ef|||true|0|true|true|-65|72|3001|192.168.1.23|255.255.255.0|192.168.1.1|"
         "192.168.1.1|8.8.8.8|fd00::23|64|fd00::1|end"},
        {"missing properties are empty strings, not null",
         QVariantMap{{"State", "ready"}},
         "||||true|0|false|false|-100|0|0||||<null>|<null>||||end"},
        {"address and settings of another type are empty",
         with({{"Ethernet", QVariantMap{{"Address", 7}}}, {"IPv4", QVariantMap{{"Address", QStringList{"x"}}}},
               {"State", "idle"}}),
         "Home||||false|0|true|true|-65|72|5180||||192.168.1.1|8.8.8.8|fd00::23|64|fd00::1|end"},
    };
    for (const Row &row : rows) {
        const NetworkService service(QStringLiteral("/net/connman/service/x"), row.properties);
        EXPECT_EQ(fields(WifiNetworkRegistration::fromService(service)).join('|'), row.expected) << row.what;
    }
}

} // namespace
