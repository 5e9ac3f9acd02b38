#include "simcallback.h"

#include <QMap>

namespace {
QMap<QString, SimCallbackKind> &kinds()
{
    static QMap<QString, SimCallbackKind> map;
    return map;
}
} // namespace

bool SimCallbackRegistry::add(const QString &interface, SimCallbackKind kind)
{
    kinds().insert(interface, std::move(kind));
    return true;
}

const SimCallbackKind *SimCallbackRegistry::find(const QString &interface)
{
    const auto it = kinds().constFind(interface);
    return it == kinds().constEnd() ? nullptr : &*it;
}
