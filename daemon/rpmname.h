#pragma once

#include <QString>

// The package name behind an APK file name or path: what follows the last
// '/', without a final ".apk", cut before the first '-'
// ("/a/b/com.example.app-12.apk" -> "com.example.app"). A plain package name
// comes back unchanged.
QString rpmNameForApk(const QString &name);
