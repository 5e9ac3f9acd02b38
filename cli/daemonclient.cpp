#include "daemonclient.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace {

const char kService[] = "com.kestrel.ferryd";
const char kPath[] = "/com/kestrel/ferryd";
const char kInterface[] = "com.kestrel.ferryd";
// Long calls (du over the whole data tree, a synchronous binder call while
// the runtime starts) stay within this.
const int kCallTimeoutMs = 120000;

QString unexpectedAnswer(const QString &method)
{
    return QStringLiteral("unexpected answer from the daemon to %1").arg(method);
}

} // namespace

DaemonClient::DaemonClient(const QDBusConnection &bus)
    : m_bus(bus)
{
}

QString DaemonClient::describeError(const QString &errorName, const QString &message)
{
    static const QStringList notRunning{
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.NoServer"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.Spawn.ServiceNotFound"),
        QStringLiteral("org.freedesktop.DBus.Error.Spawn.ChildExited"),
        QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
    };
    if (notRunning.contains(errorName))
        return QStringLiteral("daemon not running");
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        return QStringLiteral("daemon not responding");
    if (errorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return QStringLiteral("not allowed to call the daemon");
    QString text = message.simplified();
    if (text.size() > 200)
        text = text.left(200) + QStringLiteral("...");
    return QStringLiteral("call failed: %1").arg(text.isEmpty() ? errorName : text);
}

bool DaemonClient::call(const QString &method, const QVariantList &args, QVariantList *reply, QString *error)
{
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("daemon not running (no system bus)");
        return false;
    }
    QDBusMessage msg = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                      QLatin1String(kInterface), method);
    msg.setArguments(args);
    const QDBusMessage answer = m_bus.call(msg, QDBus::Block, kCallTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        *error = describeError(answer.errorName(), answer.errorMessage());
        return false;
    }
    *reply = answer.arguments();
    return true;
}

bool DaemonClient::callVoid(const QString &method, const QVariantList &args, QString *error)
{
    QVariantList reply;
    return call(method, args, &reply, error);
}

bool DaemonClient::callBool(const QString &method, const QVariantList &args, bool *result, QString *error)
{
    QVariantList reply;
    if (!call(method, args, &reply, error))
        return false;
    if (reply.size() != 1 || reply.first().userType() != QMetaType::Bool) {
        *error = unexpectedAnswer(method);
        return false;
    }
    *result = reply.first().toBool();
    return true;
}

bool DaemonClient::callUInt64(const QString &method, quint64 *result, QString *error)
{
    QVariantList reply;
    if (!call(method, {}, &reply, error))
        return false;
    if (reply.size() != 1 || reply.first().userType() != QMetaType::ULongLong) {
        *error = unexpectedAnswer(method);
        return false;
    }
    *result = reply.first().toULongLong();
    return true;
}

bool DaemonClient::appSize(const QString &package, AppSizes *sizes, QString *error)
{
    QVariantList reply;
    if (!call(QStringLiteral("getAppSize"), {package}, &reply, error))
        return false;
    if (reply.size() != 1 || reply.first().userType() != qMetaTypeId<QDBusArgument>()) {
        *error = unexpectedAnswer(QStringLiteral("getAppSize"));
        return false;
    }
    const QDBusArgument arg = reply.first().value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(xxx)")) {
        *error = unexpectedAnswer(QStringLiteral("getAppSize"));
        return false;
    }
    arg.beginStructure();
    arg >> sizes->codeBytes >> sizes->dataBytes >> sizes->cacheBytes;
    arg.endStructure();
    return true;
}

bool DaemonClient::versionData(VersionData *data, QString *error)
{
    QVariantList reply;
    if (!call(QStringLiteral("getAndroidVersionData"), {}, &reply, error))
        return false;
    // The interface publishes a structure (iss); Qt's daemon sends its
    // variant list as av. Both are read.
    QVariantList values;
    if (reply.size() == 1 && reply.first().userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = reply.first().value<QDBusArgument>();
        const QString signature = arg.currentSignature();
        if (signature == QLatin1String("(iss)")) {
            int sdk = 0;
            QString release;
            QString patch;
            arg.beginStructure();
            arg >> sdk >> release >> patch;
            arg.endStructure();
            values << sdk << release << patch;
        } else if (signature == QLatin1String("av")) {
            arg >> values;
            for (QVariant &v : values) {
                if (v.userType() == qMetaTypeId<QDBusVariant>())
                    v = v.value<QDBusVariant>().variant();
            }
        }
    } else if (reply.size() == 3) {
        values = reply;
    }
    if (values.size() != 3) {
        *error = unexpectedAnswer(QStringLiteral("getAndroidVersionData"));
        return false;
    }
    data->sdk = values.at(0).toInt();
    data->release = values.at(1).toString();
    data->securityPatch = values.at(2).toString();
    return true;
}
