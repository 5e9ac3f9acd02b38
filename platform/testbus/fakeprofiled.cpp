#include "fakeprofiled.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMetaObject>
#include <QMutexLocker>

namespace {

const QString kProfile = QStringLiteral("general");

// One (key, value, type) of profiled's a(sss).
struct ProfileEntry {
    QString key;
    QString value;
    QString type;
};

QDBusArgument &operator<<(QDBusArgument &arg, const ProfileEntry &e)
{
    arg.beginStructure();
    arg << e.key << e.value << e.type;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ProfileEntry &e)
{
    arg.beginStructure();
    arg >> e.key >> e.value >> e.type;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(ProfileEntry)
Q_DECLARE_METATYPE(QList<ProfileEntry>)

namespace {

QVariant entries(const QMap<QString, QString> &values)
{
    QList<ProfileEntry> list;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        list.append({it.key(), it.value(), QStringLiteral("INTEGER")});
    return QVariant::fromValue(list);
}

} // namespace

FakeProfiled::FakeProfiled(const QDBusConnection &connection, QObject *parent)
    : RecordingService(connection, QStringLiteral("com.nokia.profiled"), QStringLiteral("/com/nokia/profiled"), parent)
{
    qDBusRegisterMetaType<ProfileEntry>();
    qDBusRegisterMetaType<QList<ProfileEntry>>();
}

void FakeProfiled::setValue(const QString &key, const QString &value)
{
    {
        QMutexLocker lock(&m_valuesMutex);
        m_values.insert(key, value);
    }
    QMetaObject::invokeMethod(
        this,
        [this, key, value] {
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/nokia/profiled"),
                                                             QStringLiteral("com.nokia.profiled"),
                                                             QStringLiteral("profile_changed"));
            QMap<QString, QString> changed;
            changed.insert(key, value);
            signal << true << true << kProfile << entries(changed);
            m_connection.send(signal);
        },
        Qt::QueuedConnection);
}

QDBusMessage FakeProfiled::answer(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.member() == QLatin1String("get_profile"))
        return message.createReply(kProfile);
    if (message.member() == QLatin1String("get_values")) {
        QMutexLocker lock(&m_valuesMutex);
        return message.createReply(entries(m_values));
    }
    return RecordingService::answer(message, connection);
}
