#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantList>

struct AppSizes
{
    qint64 codeBytes = -1;
    qint64 dataBytes = -1;
    qint64 cacheBytes = -1;
};

struct VersionData
{
    int sdk = 0;
    QString release;
    QString securityPatch;
};

// Calls to ferryd on the system bus. Each returns false with a one-line
// reason when the call did not get an answer of the expected form; the
// daemon itself never answers with an error.
class DaemonClient
{
public:
    explicit DaemonClient(const QDBusConnection &bus = QDBusConnection::systemBus());

    // Methods with no answer: true once the daemon replied.
    bool callVoid(const QString &method, const QVariantList &args, QString *error);
    bool callBool(const QString &method, const QVariantList &args, bool *result, QString *error);
    bool callUInt64(const QString &method, quint64 *result, QString *error);
    bool appSize(const QString &package, AppSizes *sizes, QString *error);
    bool versionData(VersionData *data, QString *error);

    // Reason for a failed call, in the words `ferry` prints.
    static QString describeError(const QString &errorName, const QString &message);

private:
    bool call(const QString &method, const QVariantList &args, QVariantList *reply, QString *error);

    QDBusConnection m_bus;
};
