#pragma once

#include <QString>

// Child process mode: becomes the context manager of `device`, serves the
// service-manager protocol `protocol` ("aidl27", "aidl28", "aidl29",
// "hidl"), prints "ready" on stdout and serves until killed. Needs a
// QCoreApplication. Returns the exit code.
int runManagerHost(const QString &device, const QString &protocol);
