#pragma once

#include <QMap>
#include <QString>

// One desktop entry file: its keys after "[Desktop Entry]" (a later key of
// the same name wins; lines without "=" and everything before the group
// line are skipped). Changes are saved when the object goes out of scope,
// and only if the keys then differ from what was loaded.
class DesktopFile
{
public:
    explicit DesktopFile(const QString &path);
    ~DesktopFile();
    DesktopFile(const DesktopFile &) = delete;
    DesktopFile &operator=(const DesktopFile &) = delete;

    QString path() const { return m_path; }
    // Empty with a warning when the key is missing.
    QString value(const QString &key) const;
    bool contains(const QString &key) const { return m_values.contains(key); }
    const QMap<QString, QString> &values() const { return m_values; }
    void setValue(const QString &key, const QString &value);
    void remove(const QString &key);
    bool isDirty() const { return m_dirty; }
    // Writes the file now if it needs it; false when that failed.
    bool save();

    // The keys of a file; empty when it is missing or unreadable.
    static QMap<QString, QString> load(const QString &path);
    // "[Desktop Entry]" and one "key=value" line per key, in key order.
    static QByteArray serialise(const QMap<QString, QString> &values);

private:
    QString m_path;
    QMap<QString, QString> m_values;
    QMap<QString, QString> m_loaded;
    bool m_dirty = false;
};
