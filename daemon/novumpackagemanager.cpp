#include "novumpackagemanager.h"

#include "logging.h"
#include "novumbindercallback.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "novumservicemonitor.h"
#include "packageobserver.h"
#include "runtimeproperties.h"

#include <ferry/binder/aidl_status.h>

namespace {

int codeForSdk(int sdk, int c27, int c28, int c29)
{
    switch (sdk) {
    case 27:
        return c27;
    case 28:
        return c28;
    case 29:
        return c29;
    default:
        qCCritical(lcBinder) << "Unsupported android SDK version!";
        return c29;
    }
}
} // namespace

NovumPackageManager::NovumPackageManager(QObject *parent)
    : NovumBinderConnection(QStringLiteral("package"), QStringLiteral("android.content.pm.IPackageManager"), true,
                            parent),
      m_installHandler(new PackageObserver(PackageObserver::Install)),
      m_deleteHandler(new PackageObserver(PackageObserver::Delete))
{
    connect(m_installHandler, &PackageObserver::installationResultReceived, this,
            &NovumPackageManager::installationResultReceived);
    connect(m_deleteHandler, &PackageObserver::uninstallationResultReceived, this,
            &NovumPackageManager::uninstallationResultReceived);
    connect(this, &NovumBinderConnection::connectionChanged, this, &NovumPackageManager::onConnectionChanged);
    // A runtime that is up already was connected while the base was built,
    // before anyone could listen.
    if (isConnected())
        onConnectionChanged(true);
}

NovumPackageManager::~NovumPackageManager()
{
    // The base class reports its disconnection after this part is gone.
    disconnect(this, &NovumBinderConnection::connectionChanged, this, nullptr);
    // The observers are children of the connection; drop them before their handlers.
    delete m_installObserver;
    delete m_deleteObserver;
    m_installObserver = m_deleteObserver = nullptr;
    delete m_installHandler;
    delete m_deleteHandler;
}

void NovumPackageManager::onConnectionChanged(bool connected)
{
    delete m_installObserver;
    delete m_deleteObserver;
    m_installObserver = m_deleteObserver = nullptr;
    if (connected) {
        m_installObserver = newCallback(m_installHandler->interfaceDescriptor(), m_installHandler);
        m_deleteObserver = newCallback(m_deleteHandler->interfaceDescriptor(), m_deleteHandler);
    }
}

int NovumPackageManager::deletePackageCode(int sdk)
{
    return codeForSdk(sdk, 64, 63, 66);
}

int NovumPackageManager::deleteCacheFilesCode(int sdk)
{
    return codeForSdk(sdk, 100, 100, 103);
}

int NovumPackageManager::clearUserDataCode(int sdk)
{
    return codeForSdk(sdk, 101, 101, 104);
}

bool NovumPackageManager::installApk(const QString &path, bool quiet)
{
    if (sdkVersion() != 27) {
        NovumBinderCallback *observer = quiet ? nullptr : m_installObserver;
        if (NovumServiceMonitor::instance()->installViaNovumService(path, observer) != 0)
            return true;
        qCWarning(lcBinder) << "The runtime did not accept the install of" << path;
        return false;
    }
    if (!client()) {
        qCWarning(lcBinder) << "No package manager to install" << path;
        return false;
    }
    // client() may have connected just now and made new observers: take
    // ours only after it.
    NovumBinderCallback *observer = quiet ? nullptr : m_installObserver;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(kInstallPackageCode, false));
    if (!t)
        return false;
    NovumParcel &w = t->writer();
    w.writeString(path);
    w.writeLocalObject(observer ? observer->localObject() : nullptr);
    w.writeInt32(66);          // replace existing | all users
    w.writeString(QString());  // installer package: none
    w.writeInt32(0);           // user
    const int status = t->execute();
    // The reply starts with Android's exception code: none, or none with a
    // reply header, when the call went through.
    const int32_t exception = status == 0 ? t->reader().readInt32() : 0;
    if (status != 0 || (exception != ferry::binder::AidlStatus::kNone &&
                        exception != ferry::binder::AidlStatus::kHasReplyHeader)) {
        qCWarning(lcBinder) << "The package manager did not take the install of" << path << "( status" << status
                            << "exception" << exception << ")";
        return false;
    }
    return true;
}

void NovumPackageManager::deletePackage(const QString &packageName, bool quiet)
{
    if (!client())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(deletePackageCode(sdkVersion()), false));
    if (!t)
        return;
    NovumParcel &w = t->writer();
    w.writeString(packageName);
    w.writeInt32(-1);          // any version
    NovumBinderCallback *observer = quiet ? nullptr : m_deleteObserver;
    w.writeLocalObject(observer ? observer->localObject() : nullptr);
    w.writeInt32(0);           // user
    w.writeInt32(2);           // delete flags
    t->execute();
}

void NovumPackageManager::deleteCacheFiles(const QString &packageName)
{
    if (!client())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(deleteCacheFilesCode(sdkVersion()), false));
    if (!t)
        return;
    NovumParcel &w = t->writer();
    w.writeString(packageName);
    w.writeInt32(0);           // user
    w.writeLocalObject(nullptr);
    t->execute();
}

void NovumPackageManager::clearUserData(const QString &packageName)
{
    if (!client())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(clearUserDataCode(sdkVersion()), false));
    if (!t)
        return;
    NovumParcel &w = t->writer();
    w.writeString(packageName);
    w.writeLocalObject(nullptr);
    w.writeInt32(0);           // user
    t->execute();
}
