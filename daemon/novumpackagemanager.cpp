#include "novumpackagemanager.h"

#include "installfailuretext.h"
#include "logging.h"
#include "novumbindercallback.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "novumservicemonitor.h"
#include "runtimeproperties.h"

namespace {
const char kInstallObserver[] = "android.content.pm.IPackageInstallObserver2";
const char kDeleteObserver[] = "android.content.pm.IPackageDeleteObserver";

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

// Serves one of the two observers; Android calls it with the outcome of a
// request that carried it.
class NovumPackageManager::Observer : public NovumBinderRequestHandler
{
public:
    Observer(NovumPackageManager *owner, bool install) : m_owner(owner), m_install(install) {}

    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override
    {
        Q_UNUSED(writer);
        if (m_install) {
            switch (code) {
            case 1: // onUserActionRequired; its Intent is not read
                emit m_owner->installationResultReceived(false, QString(), QStringLiteral("Package installation failed"));
                return true;
            case 2: { // onPackageInstalled
                const QString packageName = reader.readString();
                const int result = reader.readInt32();
                QString msg = reader.readString();
                if (reader.readInt32() != 0)
                    reader.readBundle();
                qCDebug(lcBinder) << "Package install result" << result << "for" << packageName << "(" << msg << ")";
                if (msg.isEmpty() && result != 1)
                    msg = installFailureText(result);
                emit m_owner->installationResultReceived(result == 1, packageName, msg);
                return true;
            }
            default:
                qCWarning(lcBinder) << "Unknown binder call (" << code << ")";
                return false;
            }
        }
        if (code == 1) { // packageDeleted
            const QString packageName = reader.readString();
            const int result = reader.readInt32();
            emit m_owner->uninstallationResultReceived(result == 1, packageName);
            return true;
        }
        qCWarning(lcBinder) << "Unknown binder call (" << code << ")";
        return false;
    }

private:
    NovumPackageManager *m_owner;
    bool m_install;
};

NovumPackageManager::NovumPackageManager(QObject *parent)
    : NovumBinderConnection(QStringLiteral("package"), QStringLiteral("android.content.pm.IPackageManager"), true,
                            parent),
      m_installHandler(new Observer(this, true)),
      m_deleteHandler(new Observer(this, false))
{
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
        m_installObserver = newCallback(QString::fromLatin1(kInstallObserver), m_installHandler);
        m_deleteObserver = newCallback(QString::fromLatin1(kDeleteObserver), m_deleteHandler);
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

void NovumPackageManager::installApk(const QString &path, bool quiet)
{
    NovumBinderCallback *observer = quiet ? nullptr : m_installObserver;
    if (sdkVersion() != 27) {
        NovumServiceMonitor::instance()->installViaNovumService(path, observer);
        return;
    }
    if (!client())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(kInstallPackageCode, false));
    if (!t)
        return;
    NovumParcel &w = t->writer();
    w.writeString(path);
    w.writeLocalObject(observer ? observer->localObject() : nullptr);
    w.writeInt32(66);          // replace existing | all users
    w.writeString(QString());  // installer package: none
    w.writeInt32(0);           // user
    t->execute();
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
