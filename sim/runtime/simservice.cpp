#include "simservice.h"

#include <QMap>

namespace {
QMap<QString, SimServiceRegistry::Factory> &factories()
{
    static QMap<QString, SimServiceRegistry::Factory> map;
    return map;
}
} // namespace

bool SimServiceRegistry::add(const QString &name, Factory factory)
{
    factories().insert(name, std::move(factory));
    return true;
}

QStringList SimServiceRegistry::names()
{
    return factories().keys();
}

bool SimServiceRegistry::contains(const QString &name)
{
    return factories().contains(name);
}

std::unique_ptr<SimService> SimServiceRegistry::create(const QString &name)
{
    const auto it = factories().constFind(name);
    return it == factories().constEnd() ? nullptr : (*it)();
}
