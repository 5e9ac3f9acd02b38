#pragma once

#include <functional>

class FileIndex;
class QString;
class RuntimeSimClient;
class TestWorld;

// The demo's step for ferryd-bridge-user: starts it (with the test
// positioning plug-in standing in for the host's GNSS), lets the simulated
// runtime set a GNSS callback and start the HAL, feeds one position and
// says what the runtime received; the sensors, media session and media
// file steps follow while it runs (the file index must be started).
// 0 on success, else 1 after saying why.
int showGnssThroughBridge(TestWorld &world, const RuntimeSimClient &sim, const QString &dir, FileIndex &fileIndex,
                          const std::function<void(const QString &)> &say);
