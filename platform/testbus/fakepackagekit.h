#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QSet>
#include <QStringList>

// PackageKit for tests: "org.freedesktop.PackageKit" with CreateTransaction,
// and transactions that answer Resolve (a Package signal for every name the
// test declared installed) and RemovePackages, each ending with Finished
// and Destroy. Other calls get an empty reply. Everything is recorded.
// Thread-safe accessors: serve it from a thread of its own when the code
// under test calls it from this process.
class FakePackageKit : public QDBusVirtualObject
{
    Q_OBJECT
public:
    struct Call
    {
        QString member;
        QVariantList arguments;
    };

    explicit FakePackageKit(const QDBusConnection &connection, QObject *parent = nullptr);
    ~FakePackageKit() override;
    bool isRegistered() const { return m_registered; }

    void setInstalled(const QStringList &names);
    // Calls on transactions (Resolve, RemovePackages, SetHints, ...).
    QList<Call> transactionCalls() const;
    int createdTransactions() const;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void finish(const QString &path, const QDBusConnection &connection);

    QDBusConnection m_connection;
    bool m_registered = false;
    mutable QMutex m_mutex;
    QSet<QString> m_installed;
    QList<Call> m_calls;
    int m_nextTransaction = 1;
};
