#pragma once

#include <functional>

class QString;
class RuntimeSimClient;
class TestWorld;

// The demo's Wi-Fi step, while ferryd-bridge-user runs: the connman
// stand-in appears on the world's system bus, the host's Wi-Fi network
// goes online there, and the simulated runtime's "novum.connectivity"
// shows the registration it received; the host then leaves Wi-Fi and the
// runtime shows the withdrawal. 0 on success, else 1 after saying why.
int showWifiThroughBridge(TestWorld &world, const RuntimeSimClient &sim, const std::function<void(const QString &)> &say);
