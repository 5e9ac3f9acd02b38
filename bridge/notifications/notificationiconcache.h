#pragma once

#include <QString>

// The small icons of forwarded notifications, one PNG file per Android
// notification key in a directory of the bridge's cache, handed to the
// host as file paths.
class NotificationIconCache
{
public:
    explicit NotificationIconCache(const QString &directory);

    QString directory() const { return m_directory; }
    // The file of a key: the key with '|', '/' and control characters
    // replaced by '_', then ".png". A key too long for a file name gets the
    // hex SHA-1 of the key instead.
    QString path(const QString &key) const;
    // Decodes the Base64 icon and writes it (atomically) as the key's file;
    // its path, or an empty string when it cannot be saved.
    QString save(const QString &key, const QString &base64);
    void remove(const QString &key);
    // Empties the directory (removed and made again).
    void clear();

private:
    QString m_directory;
};
