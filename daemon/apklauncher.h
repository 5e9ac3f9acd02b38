#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

// One Android launcher or handler activity as the runtime reports it.
struct ApkLauncher
{
    QString label;               // display name
    QString caption;             // share caption (handlers only)
    QByteArray icon;             // PNG bytes
    QString packageName;
    QString className;
    QString version;             // version name (launchers only)
    QStringList mimeTypes;       // opened types, x-scheme-handler/..., x-url-handler/...
    QStringList shareMimeTypes;  // accepted share types
    bool multi = false;          // share target takes several items
    bool secondFlag = false;     // received with handlers, unused

    bool isHandler() const { return !mimeTypes.isEmpty() || !shareMimeTypes.isEmpty(); }
};

Q_DECLARE_METATYPE(ApkLauncher)
