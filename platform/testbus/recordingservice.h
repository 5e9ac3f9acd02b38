#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QMutex>
#include <QString>
#include <QVariantList>

#include <functional>

// A host service for tests that records every method call it receives
// under its object path (and the paths below), answering each with an empty
// reply unless a subclass answers otherwise. Thread safe: it may serve from
// a thread of its own while the test reads what it recorded.
class RecordingService : public QDBusVirtualObject
{
    Q_OBJECT

public:
    struct Call {
        QString sender;
        QString path;
        QString interface;
        QString member;
        QVariantList arguments;
    };

    RecordingService(const QDBusConnection &connection, const QString &service, const QString &path,
                     QObject *parent = nullptr);
    ~RecordingService() override;
    bool isRegistered() const { return m_registered; }

    QList<Call> calls() const;
    QList<Call> calls(const QString &member) const;
    // Waits (without an event loop of the caller's) until |count| calls of
    // |member| were recorded.
    bool waitForCalls(const QString &member, int count, int timeoutMs = 5000) const;
    void clear();

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

protected:
    // The answer to a call; the default is an empty reply. Runs on the
    // serving thread, after the call was recorded.
    virtual QDBusMessage answer(const QDBusMessage &message, const QDBusConnection &connection);

    QDBusConnection m_connection;

private:
    QString m_service;
    QString m_path;
    bool m_registered = false;
    mutable QMutex m_mutex;
    QList<Call> m_calls;
};
