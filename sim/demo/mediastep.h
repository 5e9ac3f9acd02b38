#pragma once

#include <functional>

class QString;
class RuntimeSimClient;

// The demo's media step, while ferryd-bridge-user runs: the simulated
// runtime reports a playing media session, playerctl (a real MPRIS client
// on the world's session bus) shows it and pauses it, and the runtime says
// what it received. 0 on success, else 1 after saying why.
int showMediaSessionThroughBridge(const RuntimeSimClient &sim, const std::function<void(const QString &)> &say);
