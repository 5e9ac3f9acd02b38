#include "packageobserver.h"

#include "installfailuretext.h"
#include "logging.h"
#include "novumparcel.h"

PackageObserver::PackageObserver(Kind kind, QObject *parent) : QObject(parent), m_kind(kind)
{
}

QString PackageObserver::interfaceDescriptor() const
{
    return m_kind == Install ? QStringLiteral("android.content.pm.IPackageInstallObserver2")
                             : QStringLiteral("android.content.pm.IPackageDeleteObserver");
}

bool PackageObserver::processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer)
{
    return processRequestFor(QString(), code, reader, writer);
}

bool PackageObserver::processRequestFor(const QString &interface, int32_t code, NovumParcel &reader,
                                        NovumParcel &writer)
{
    Q_UNUSED(writer);
    if (interface.isEmpty()) {
        qCDebug(lcBinder) << "ferryd - installation event - no interface?";
        return true;
    }
    if (interface != interfaceDescriptor()) {
        // A result claimed for another interface is not this observer's to
        // report.
        qCWarning(lcBinder) << "Refusing request" << code << "for interface" << interface << "on"
                            << interfaceDescriptor();
        return false;
    }
    return m_kind == Install ? onInstallRequest(code, reader) : onDeleteRequest(code, reader);
}

bool PackageObserver::onInstallRequest(int32_t code, NovumParcel &reader)
{
    switch (code) {
    case 1: // onUserActionRequired; its Intent is not read
        emit installationResultReceived(false, QString(), QStringLiteral("Package installation failed"));
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
        emit installationResultReceived(result == 1, packageName, msg);
        return true;
    }
    default:
        qCWarning(lcBinder) << "Unknown binder call (" << code << ")";
        return false;
    }
}

bool PackageObserver::onDeleteRequest(int32_t code, NovumParcel &reader)
{
    if (code != 1) {
        qCWarning(lcBinder) << "Unknown binder call (" << code << ")";
        return false;
    }
    // packageDeleted
    const QString packageName = reader.readString();
    const int result = reader.readInt32();
    emit uninstallationResultReceived(result == 1, packageName);
    return true;
}
