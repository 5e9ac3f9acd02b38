#pragma once

#include <QString>

// Packages that came inside an RPM ("marina-apk-<name>", marked by
// <packagedDir>/<name>.apk) are removed through PackageKit as well, so that
// the package database does not keep claiming them. Asynchronous; errors
// are only logged. Returns whether a removal was requested.
bool requestRpmRemoval(const QString &filename, const QString &packagedDir);
