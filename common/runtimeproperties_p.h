#pragma once

#include <QString>

// Internals of runtimeproperties.cpp, for its tests.

// The build-properties file that is read: FERRY_BUILD_PROP if set and not
// empty, else the runtime's own file.
QString buildPropertiesPath();

// Forgets every cached value, as in a fresh process.
void resetRuntimePropertiesCache();
