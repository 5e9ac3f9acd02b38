#pragma once

#include <functional>

class QString;
class RuntimeSimClient;

// The demo's sensors step, while ferryd-bridge-user runs with the test
// sensors plug-in (control socket at socketPath): the simulated runtime
// activates the accelerometer, the plug-in emits one reading, the runtime
// polls it and says what it got. 0 on success, else 1 after saying why.
int showAccelerometerThroughBridge(const RuntimeSimClient &sim, const QString &socketPath,
                                   const std::function<void(const QString &)> &say);
