#pragma once

#include <QString>
#include <QStringList>

// Command line and environment of ferry-systemd-standin. Options win over
// the environment.
struct StandinOptions
{
    QString busAddress;       // --bus / DBUS_SYSTEM_BUS_ADDRESS; empty: the system bus
    QString runtimeCommand;   // --runtime-command / FERRY_RUNTIME_COMMAND, run by /bin/sh -c
    QString readyFile;        // --ready-file / FERRY_RUNTIME_READY_FILE
    QString callLog;          // --call-log / FERRY_SYSTEMD_CALL_LOG
    QString unitFileState = QStringLiteral("disabled"); // --unit-file-state
    bool refuseUnit = false;  // --no-unit
    bool refuseProperties = false; // --refuse-properties: the unit's Get/GetAll fail
    int stopTimeoutMs = 3000; // --stop-timeout

    // Parses arguments (argv[0] first). On a usage error returns false and
    // puts a message into error.
    bool parse(const QStringList &arguments, QString *error);
};
