#include "networkservice.h"

#include "connmanvalue_p.h"
#include "plaindbusvalue.h"

#include <limits>

namespace {

// The properties this class reads; a full replacement resets each of them.
const char *const kKnown[] = {"Name", "State", "Type", "Strength", "MaxRate", "Frequency", "Hidden",
                              "Ethernet", "IPv4", "IPv6", "Nameservers"};

template <typename T, typename Signal>
void assign(NetworkService *service, T &member, const T &value, Signal signal)
{
    if (member == value)
        return;
    member = value;
    emit(service->*signal)(value);
}

} // namespace

NetworkService::NetworkService(const QString &path, const QVariantMap &properties, QObject *parent)
    : QObject(parent), m_path(path)
{
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        updateProperty(it.key(), plainDBusValue(it.value()));
}

NetworkService::~NetworkService() = default;

bool NetworkService::connected() const
{
    return m_state == QLatin1String("ready") || m_state == QLatin1String("online");
}

void NetworkService::updateProperty(const QString &name, const QVariant &value)
{
    using namespace ConnmanValue;
    if (name == QLatin1String("Name")) {
        assign(this, m_name, toText(value), &NetworkService::nameChanged);
    } else if (name == QLatin1String("State")) {
        const bool wasConnected = connected();
        assign(this, m_state, toText(value), &NetworkService::stateChanged);
        if (connected() != wasConnected)
            emit connectedChanged(connected());
    } else if (name == QLatin1String("Type")) {
        assign(this, m_type, toText(value), &NetworkService::typeChanged);
    } else if (name == QLatin1String("Strength")) {
        assign(this, m_strength, uint(toUnsigned(value, 100)), &NetworkService::strengthChanged);
    } else if (name == QLatin1String("MaxRate")) {
        assign(this, m_maxRate, quint32(toUnsigned(value, std::numeric_limits<quint32>::max())),
               &NetworkService::maxRateChanged);
    } else if (name == QLatin1String("Frequency")) {
        assign(this, m_frequency, quint16(toUnsigned(value, std::numeric_limits<quint16>::max())),
               &NetworkService::frequencyChanged);
    } else if (name == QLatin1String("Hidden")) {
        assign(this, m_hidden, toBool(value), &NetworkService::hiddenChanged);
    } else if (name == QLatin1String("Ethernet")) {
        assign(this, m_ethernet, toMap(value), &NetworkService::ethernetChanged);
    } else if (name == QLatin1String("IPv4")) {
        assign(this, m_ipv4, toMap(value), &NetworkService::ipv4Changed);
    } else if (name == QLatin1String("IPv6")) {
        assign(this, m_ipv6, toMap(value), &NetworkService::ipv6Changed);
    } else if (name == QLatin1String("Nameservers")) {
        assign(this, m_nameservers, toTextList(value), &NetworkService::nameserversChanged);
    }
}

void NetworkService::replaceProperties(const QVariantMap &properties)
{
    for (const char *name : kKnown) {
        const QString key = QLatin1String(name);
        updateProperty(key, properties.value(key));
    }
}
