#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace ferry::binder {
class LocalObject;
class Reader;
class ServiceManager;
}

// Callback objects of Android interfaces that the simulator hands to the
// host (a "binder" argument of a call) and that decode what they receive
// instead of logging it as hex. Keyed by the interface the call names;
// the object answers every interface of the chain (a 2.1 callback is also
// called with 1.0 descriptors). Each callback file registers itself:
//
//     FERRY_SIM_CALLBACK("android.hardware.gnss@2.1::IGnssCallback", chain, decodeGnss)
struct SimCallbackKind
{
    using Decoder = std::function<void(uint32_t code, ferry::binder::Reader &in, QJsonObject *line)>;
    QStringList interfaces;
    Decoder decode;
};

// A callback object on the manager's device answering |interface| (and
// its chain when a decoder knows it): it logs what it receives under
// |label| and answers with an empty success reply. Null without a manager.
std::shared_ptr<ferry::binder::LocalObject> newSimCallbackObject(
    const std::shared_ptr<ferry::binder::ServiceManager> &manager, const QString &interface, const QString &label);

namespace SimCallbackRegistry {
bool add(const QString &interface, SimCallbackKind kind);
const SimCallbackKind *find(const QString &interface);
}

#define FERRY_SIM_CALLBACK_CAT2(a, b) a##b
#define FERRY_SIM_CALLBACK_CAT(a, b) FERRY_SIM_CALLBACK_CAT2(a, b)
#define FERRY_SIM_CALLBACK(interface, chain, decoder) \
    static const bool FERRY_SIM_CALLBACK_CAT(ferrySimCallback_, __LINE__) = \
        SimCallbackRegistry::add(QStringLiteral(interface), SimCallbackKind{chain, decoder});
