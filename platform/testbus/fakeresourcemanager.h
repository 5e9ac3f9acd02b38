#pragma once

#include "recordingservice.h"

#include <QHash>

// The host's resource policy manager for tests
// ("org.maemo.resource.manager"): records every request (register, audio,
// acquire, release, unregister, each with the set's id first) and answers
// an acquisition by calling the set's "grant" with all its mandatory
// resources, or with 0 where the test denies its class.
class FakeResourceManager : public RecordingService
{
    Q_OBJECT

public:
    explicit FakeResourceManager(const QDBusConnection &connection, QObject *parent = nullptr);

    // Thread safe; applies to later acquisitions.
    void setGranted(const QString &klass, bool granted);
    // The class a set id was registered with.
    QString classOf(uint id) const;
    // Sends "grant" with |resources| to the set, e.g. to take it away.
    void grant(uint id, uint resources);

protected:
    QDBusMessage answer(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    struct Set {
        QString owner;
        QString klass;
        uint mandatory = 0;
    };
    mutable QMutex m_setsMutex;
    QHash<uint, Set> m_sets;
    QHash<QString, bool> m_granted;
};
