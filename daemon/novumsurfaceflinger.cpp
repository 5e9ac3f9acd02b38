#include "novumsurfaceflinger.h"

#include "novumbindertransaction.h"
#include "novumparcel.h"

NovumSurfaceFlinger::NovumSurfaceFlinger(QObject *parent)
    : NovumBinderConnection(QStringLiteral("SurfaceFlinger"), QStringLiteral("android.ui.ISurfaceComposer"), false, parent)
{
}

bool NovumSurfaceFlinger::hasWindow(const QString &package)
{
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(kWindowCheckCode, false));
    if (!t)
        return false;
    t->writer().writeString(package);
    if (t->execute() != 0)
        return false;
    return t->reader().readBool();
}
