#pragma once

#include <QJsonObject>
#include <QString>

// Android's sensor service as a client of the host's sensors HAL
// ("android.hardware.sensors@1.0::ISensors/default_novum" on the HAL
// device): lists, activates, batches, flushes and polls, decoding what it
// gets. Runs a script of steps (see README.md) in a process of its own, so
// that a held poll blocks only it.
QJsonObject runSensorsScript(const QJsonObject &command);

// Entry of the child process: the command (JSON) from its argument, the
// answer printed as one JSON line.
int runSensorsProcess(const QString &commandJson);
