#include "fakepackagekit.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMetaObject>

namespace {
const char kService[] = "org.freedesktop.PackageKit";
const char kPath[] = "/org/freedesktop/PackageKit";
const char kTransactionInterface[] = "org.freedesktop.PackageKit.Transaction";
const uint kInfoInstalled = 1;
const uint kExitSuccess = 1;
} // namespace

FakePackageKit::FakePackageKit(const QDBusConnection &connection, QObject *parent)
    : QDBusVirtualObject(parent), m_connection(connection)
{
    m_registered = m_connection.registerVirtualObject(kPath, this, QDBusConnection::SubPath) &&
                   m_connection.registerService(kService);
}

FakePackageKit::~FakePackageKit()
{
    m_connection.unregisterService(kService);
    m_connection.unregisterObject(kPath, QDBusConnection::UnregisterTree);
}

void FakePackageKit::setInstalled(const QStringList &names)
{
    QMutexLocker lock(&m_mutex);
    m_installed = QSet<QString>(names.begin(), names.end());
}

QList<FakePackageKit::Call> FakePackageKit::transactionCalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

int FakePackageKit::createdTransactions() const
{
    QMutexLocker lock(&m_mutex);
    return m_nextTransaction - 1;
}

QString FakePackageKit::introspect(const QString &path) const
{
    Q_UNUSED(path);
    return QString();
}

bool FakePackageKit::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString path = message.path();
    const QString member = message.member();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        if (member == QLatin1String("GetAll"))
            connection.send(message.createReply(QVariant::fromValue(QVariantMap())));
        else
            connection.send(message.createErrorReply(QDBusError::InvalidArgs, "no such property"));
        return true;
    }
    if (path == QLatin1String(kPath)) {
        if (member == QLatin1String("CreateTransaction")) {
            QMutexLocker lock(&m_mutex);
            const QString tid = QStringLiteral("%1/transactions/%2").arg(kPath).arg(m_nextTransaction++);
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(tid))));
        } else if (member == QLatin1String("GetDaemonState")) {
            connection.send(message.createReply(QString("fake")));
        } else {
            connection.send(message.createReply());
        }
        return true;
    }
    // A transaction.
    {
        QMutexLocker lock(&m_mutex);
        m_calls << Call{member, message.arguments()};
    }
    connection.send(message.createReply());
    if (member == QLatin1String("Resolve")) {
        const QStringList names = message.arguments().value(1).toStringList();
        QStringList found;
        {
            QMutexLocker lock(&m_mutex);
            for (const QString &name : names) {
                if (m_installed.contains(name))
                    found << name;
            }
        }
        for (const QString &name : found) {
            QDBusMessage signal = QDBusMessage::createSignal(path, kTransactionInterface, "Package");
            signal << kInfoInstalled << QString("%1;1.0;noarch;installed").arg(name) << QString("summary");
            connection.send(signal);
        }
        finish(path, connection);
    } else if (member == QLatin1String("RemovePackages")) {
        finish(path, connection);
    }
    return true;
}

void FakePackageKit::finish(const QString &path, const QDBusConnection &connection)
{
    QDBusMessage finished = QDBusMessage::createSignal(path, kTransactionInterface, "Finished");
    finished << kExitSuccess << 0u;
    connection.send(finished);
    connection.send(QDBusMessage::createSignal(path, kTransactionInterface, "Destroy"));
}
