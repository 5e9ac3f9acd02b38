#include "novumservicemonitor.h"

#include "logging.h"
#include "novumbindercallback.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {
const char kListenerInterface[] = "novum.applications.INovumServiceListener";
}

NovumServiceMonitor *NovumServiceMonitor::instance()
{
    static NovumServiceMonitor *monitor = new NovumServiceMonitor;
    return monitor;
}

NovumServiceMonitor::NovumServiceMonitor()
    : NovumBinderConnection(QStringLiteral("novum"), QStringLiteral("novum.applications.INovumService"), true)
{
    connect(this, &NovumBinderConnection::connectionChanged, this, &NovumServiceMonitor::onConnectionChanged);
    // A runtime that is up already was connected while the base was built,
    // before anyone could listen.
    if (isConnected())
        onConnectionChanged(true);
}

NovumServiceMonitor::~NovumServiceMonitor()
{
    disconnect(this, &NovumBinderConnection::connectionChanged, this, nullptr);
    delete m_listener;
}

void NovumServiceMonitor::onConnectionChanged(bool connected)
{
    delete m_listener;
    m_listener = nullptr;
    if (!connected)
        return;
    m_listener = newCallback(QString::fromLatin1(kListenerInterface), this);
    if (!m_listener) {
        qCritical() << "Failed to create local listener object";
        return;
    }
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(SetListenerCode, false));
    int status = -1;
    if (t) {
        t->writer().writeLocalObject(m_listener->localObject());
        status = t->execute();
    }
    if (status != 0)
        qCritical() << "Failed to set listener for novum service";
}

bool NovumServiceMonitor::processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer)
{
    Q_UNUSED(writer);
    if (code != 1)
        return false;
    const QString appName = reader.readString();
    QDBusMessage signal = QDBusMessage::createSignal("/com/kestrel/ferryd", "com.kestrel.ferryd", "appClosed");
    signal << appName;
    QDBusConnection::systemBus().send(signal);
    return true;
}

void NovumServiceMonitor::launchPackage(const QString &package)
{
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(LaunchPackageCode, false));
    if (!t)
        return;
    t->writer().writeString(package);
    t->execute();
}

int NovumServiceMonitor::installViaNovumService(const QString &path, NovumBinderCallback *observer)
{
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(InstallCode, false));
    if (!t)
        return 0;
    t->writer().writeString(path);
    t->writer().writeLocalObject(observer ? observer->localObject() : nullptr);
    if (t->execute() != 0)
        return 0;
    // An empty reply accepted nothing (the reader's default would read as
    // non-zero).
    if (t->reader().atEnd())
        return 0;
    return t->reader().readInt32();
}
