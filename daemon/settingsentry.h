#pragma once

#include <QJsonDocument>
#include <QString>

// The settings entry of a plain launcher: a page of the host's settings
// application for the app, named after the launcher's desktop entry.
class SettingsEntry
{
public:
    // dir + the desktop entry's file name without ".desktop" + ".json";
    // empty when that is no plain file name.
    static QString path(const QString &dir, const QString &desktopEntryPath);
    static QJsonDocument document(const QString &desktopEntryPath, const QString &package,
                                  const QString &version);
    // Writes the entry unless the file already holds exactly it.
    static bool write(const QString &path, const QJsonDocument &document);
};
