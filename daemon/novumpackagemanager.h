#pragma once

#include "novumbinderconnection.h"
#include "novumbinderrequesthandler.h"

#include <QString>

class NovumBinderCallback;
class PackageObserver;

// Client of Android's package manager ("package"): installs APKs, deletes
// packages, clears caches and user data, and serves the install and delete
// observers through which Android reports results.
class NovumPackageManager : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumPackageManager(QObject *parent = nullptr);
    ~NovumPackageManager() override;

    // True when Android took the install; its outcome then comes as
    // installationResultReceived unless quiet. False when it could not be
    // handed over (not connected, the call failed or was refused): nothing
    // will report on it.
    bool installApk(const QString &path, bool quiet);
    void deletePackage(const QString &packageName, bool quiet);
    void deleteCacheFiles(const QString &packageName);
    void clearUserData(const QString &packageName);

    // Transaction codes by SDK level (27, 28, 29; anything else logs
    // "Unsupported android SDK version!" and uses the newest).
    static int deletePackageCode(int sdk);
    static int deleteCacheFilesCode(int sdk);
    static int clearUserDataCode(int sdk);
    static constexpr int kInstallPackageCode = 60;   // SDK 27 only

signals:
    void installationResultReceived(bool success, const QString &packageName, const QString &msg);
    void uninstallationResultReceived(bool success, const QString &packageName);

private:
    void onConnectionChanged(bool connected);

    PackageObserver *m_installHandler;
    PackageObserver *m_deleteHandler;
    NovumBinderCallback *m_installObserver = nullptr;
    NovumBinderCallback *m_deleteObserver = nullptr;
};
