#pragma once

#include <functional>

class QString;
class RuntimeSimClient;
class TestWorld;

// The demo's step for the contacts bridge: puts two contacts into the host
// address book through QtContacts, starts ferryd-bridge, lets the simulated
// "novum.contacts" answer "not yet ready" and then "ready", and says what
// the full push and a later removal delivered. 0 on success, else 1 after
// saying why.
int showContactsThroughBridge(TestWorld &world, const RuntimeSimClient &sim, const QString &dir,
                              const std::function<void(const QString &)> &say);
