#pragma once

#include "recordingservice.h"

#include <QMap>

// The host profile daemon for tests ("com.nokia.profiled" at
// "/com/nokia/profiled"): one active profile "general" whose values the
// test sets; get_profile and get_values answer from them, and a change
// sends profile_changed as the daemon does.
class FakeProfiled : public RecordingService
{
    Q_OBJECT

public:
    explicit FakeProfiled(const QDBusConnection &connection, QObject *parent = nullptr);

    // Thread safe. Sends profile_changed with the value from the serving thread.
    void setValue(const QString &key, const QString &value);

protected:
    QDBusMessage answer(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    mutable QMutex m_valuesMutex;
    QMap<QString, QString> m_values;
};
