#pragma once

#include <functional>

class FerrydWorld;
class QString;
class RuntimeSimClient;

// The demo's step for ferryd-bridge: starts it on the user's session bus,
// lets the simulated runtime register its callback and post one
// notification, shows it at the notification server with its hints,
// invokes its action as the user would and says what Android received.
// 0 on success, else 1 after saying why.
int showNotificationThroughBridge(FerrydWorld &world, const RuntimeSimClient &sim, const QString &dir,
                                  const std::function<void(const QString &)> &say);
