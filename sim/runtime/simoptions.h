#pragma once

#include <QString>
#include <QStringList>

// Command line and environment of ferry-runtime-sim (coordinator mode).
// Options win over the environment.
struct SimOptions
{
    QString logFile;       // --log / FERRY_SIM_LOG: JSON lines of received transactions
    QString socketPath;    // --socket / FERRY_SIM_SOCKET: command socket
    QString readyFile;     // --ready-file / FERRY_RUNTIME_READY_FILE
    // --services / FERRY_SIM_SERVICES: services published at start, comma
    // separated; "all" (the default) or "none".
    QStringList services;
    bool allServices = true;

    // Parses arguments (argv[0] first). On a usage error returns false with
    // a message in error.
    bool parse(const QStringList &arguments, QString *error);
};
