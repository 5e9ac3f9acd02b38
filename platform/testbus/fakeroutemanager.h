#pragma once

#include "recordingservice.h"

// The host's audio route manager for tests ("org.nemomobile.Route.Manager"
// at "/org/nemomobile/Route/Manager"): records Enable and Disable.
class FakeRouteManager : public RecordingService
{
    Q_OBJECT

public:
    explicit FakeRouteManager(const QDBusConnection &connection, QObject *parent = nullptr)
        : RecordingService(connection, QStringLiteral("org.nemomobile.Route.Manager"),
                           QStringLiteral("/org/nemomobile/Route/Manager"), parent)
    {
    }
};
