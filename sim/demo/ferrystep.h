#pragma once

#include <functional>

class FerrydWorld;
class QString;

// The demo's step for the ferry client: runs `ferry status` and `ferry apps`
// against the running ferryd, as an integrator would, and shows their output.
// 0 on success, else 1 after saying why.
int showFerryCommands(FerrydWorld &world, const std::function<void(const QString &)> &say);
