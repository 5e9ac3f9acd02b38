#pragma once

#include "recordingservice.h"

// The device state daemon MCE for tests ("com.nokia.mce", everything below
// "/com/nokia/mce"): records the requests it gets, e.g.
// req_call_state_change on "/com/nokia/mce/request".
class FakeMce : public RecordingService
{
    Q_OBJECT

public:
    explicit FakeMce(const QDBusConnection &connection, QObject *parent = nullptr)
        : RecordingService(connection, QStringLiteral("com.nokia.mce"), QStringLiteral("/com/nokia/mce"), parent)
    {
    }
};
