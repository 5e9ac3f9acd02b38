#pragma once

#include "recordingservice.h"

#include <QStringList>

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

    // The display-blanking requests in order: "pause" for
    // req_display_blanking_pause, "cancel" for
    // req_display_cancel_blanking_pause (others on the request object are
    // left out).
    QStringList blankingRequests() const
    {
        QStringList list;
        for (const Call &call : calls()) {
            if (call.path != QLatin1String("/com/nokia/mce/request")
                || call.interface != QLatin1String("com.nokia.mce.request"))
                continue;
            if (call.member == QLatin1String("req_display_blanking_pause"))
                list << QStringLiteral("pause");
            else if (call.member == QLatin1String("req_display_cancel_blanking_pause"))
                list << QStringLiteral("cancel");
        }
        return list;
    }
};
