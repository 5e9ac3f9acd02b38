#include "packagemod.h"

#include <QSet>

QDebug operator<<(QDebug debug, const PackageMod &mod)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "PackageMod(" << mod.filename << (mod.install ? ", install" : ", uninstall")
                    << (mod.quiet ? ", quiet" : "") << ')';
    return debug;
}

void drainPackageQueue(QList<PackageMod> &queue, const std::function<void(const PackageMod &)> &perform)
{
    QSet<QString> performed;
    while (!queue.isEmpty()) {
        const PackageMod mod = queue.takeFirst();
        if (performed.contains(mod.filename))
            continue;
        performed.insert(mod.filename);
        perform(mod);
    }
}
