#pragma once

#include <QLoggingCategory>

// One category per area of the Qt programs. Debug output is off unless the
// user enables it with QT_LOGGING_RULES="com.kestrel.ferryd.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcService)
Q_DECLARE_LOGGING_CATEGORY(lcBinder)
Q_DECLARE_LOGGING_CATEGORY(lcParcel)
Q_DECLARE_LOGGING_CATEGORY(lcConfig)
Q_DECLARE_LOGGING_CATEGORY(lcDaemon)
Q_DECLARE_LOGGING_CATEGORY(lcLauncher)
Q_DECLARE_LOGGING_CATEGORY(lcGnss)
Q_DECLARE_LOGGING_CATEGORY(lcSensor)
Q_DECLARE_LOGGING_CATEGORY(lcVibrate)
Q_DECLARE_LOGGING_CATEGORY(lcMpris)
Q_DECLARE_LOGGING_CATEGORY(lcTracker)
Q_DECLARE_LOGGING_CATEGORY(lcWifi)
Q_DECLARE_LOGGING_CATEGORY(lcNotif)
Q_DECLARE_LOGGING_CATEGORY(lcContacts)
