#pragma once

#include "novumbinderrequesthandler.h"

#include <QObject>
#include <QString>

// Serves one of the two objects through which Android's package manager
// reports the outcome of a request that carried it: the install observer
// ("android.content.pm.IPackageInstallObserver2") or the delete observer
// ("android.content.pm.IPackageDeleteObserver"). Requests naming any other
// interface are refused.
class PackageObserver : public QObject, public NovumBinderRequestHandler
{
    Q_OBJECT
public:
    enum Kind { Install, Delete };

    explicit PackageObserver(Kind kind, QObject *parent = nullptr);

    // The descriptor this observer answers to.
    QString interfaceDescriptor() const;

    // Without a descriptor: as a request that named none.
    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override;
    bool processRequestFor(const QString &interface, int32_t code, NovumParcel &reader,
                           NovumParcel &writer) override;

signals:
    void installationResultReceived(bool success, const QString &packageName, const QString &msg);
    void uninstallationResultReceived(bool success, const QString &packageName);

private:
    bool onInstallRequest(int32_t code, NovumParcel &reader);
    bool onDeleteRequest(int32_t code, NovumParcel &reader);

    Kind m_kind;
};
