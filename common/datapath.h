#pragma once

#include <QString>
#include <QUrl>

// Where the Android runtime keeps its apps and data on the host, and how a
// host file path reads from inside the runtime.

// Directories below a data root. The numbers are stable: callers store and
// pass them around as plain integers.
enum DataPath {
    DataRoot = 1,    // the data root itself
    AppDir = 2,      // installed APKs
    IncomingDir = 3, // APKs staged for installation
    PackagedDir = 4, // APKs shipped as packages
    AppDataDir = 5,  // per-app private data
};

// "/home/.android", or the value of ANDROID_DATA_ROOT when that variable is
// set (used exactly as given, even when empty).
QString dataRoot();

// The directory of the given kind below dataRoot. An unknown kind logs a
// warning and gives an empty string.
QString dataPath(const QString &dataRoot, DataPath kind);

// The path under which Android sees the host file at hostPath: the user's
// home becomes the fixed internal storage volume, ~/android_storage the
// emulated primary storage and /run/media/USER/LABEL becomes /storage/LABEL.
// Accepts "file:" URLs as well. Other paths come back unchanged.
QString toAndroidPath(const QString &hostPath);

// toAndroidPath as a URL: absolute results become file URLs, anything else
// is parsed leniently as a URL.
QUrl toAndroidUrl(const QString &hostPath);
