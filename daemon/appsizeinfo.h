#pragma once

#include <QDBusArgument>
#include <QMetaType>

// Sizes of one app, bytes, as the D-Bus structure "(xxx)".
struct AppSizeInfo
{
    qint64 codeBytes = 0;    // APK and code files
    qint64 dataBytes = 0;    // data without cache
    qint64 cacheBytes = 0;

    // Registers the metatype and its D-Bus marshalling (once per process).
    static void registerType();
};

QDBusArgument &operator<<(QDBusArgument &argument, const AppSizeInfo &info);
const QDBusArgument &operator>>(const QDBusArgument &argument, AppSizeInfo &info);

Q_DECLARE_METATYPE(AppSizeInfo)
