#include "logging.h"

// QtInfoMsg as the threshold keeps debug lines quiet by default while
// warnings and criticals always reach the journal.
Q_LOGGING_CATEGORY(lcService, "com.kestrel.ferryd.service", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBinder, "com.kestrel.ferryd.binder", QtInfoMsg)
Q_LOGGING_CATEGORY(lcParcel, "com.kestrel.ferryd.parcel", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConfig, "com.kestrel.ferryd.config", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDaemon, "com.kestrel.ferryd.daemon", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLauncher, "com.kestrel.ferryd.launcher", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGnss, "com.kestrel.ferryd.gnss", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSensor, "com.kestrel.ferryd.sensor", QtInfoMsg)
Q_LOGGING_CATEGORY(lcVibrate, "com.kestrel.ferryd.vibrate", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMpris, "com.kestrel.ferryd.mpris", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTracker, "com.kestrel.ferryd.tracker", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWifi, "com.kestrel.ferryd.wifi", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNotif, "com.kestrel.ferryd.notif", QtInfoMsg)
Q_LOGGING_CATEGORY(lcContacts, "com.kestrel.ferryd.contacts", QtInfoMsg)
