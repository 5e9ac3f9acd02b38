#pragma once

#include <QString>

// Child process mode: registers the one Android service `name` with its
// device's service manager, prints "ready" on stdout and serves it until
// killed. Needs a QCoreApplication. Returns the exit code.
int runServiceHost(const QString &name);
