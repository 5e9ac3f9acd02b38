#pragma once

#include <QString>

// The binder device the emulated HALs register on: the runtime's own HAL
// device when the container provides it, else the host's.
QString halDevice();
