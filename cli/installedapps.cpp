#include "installedapps.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

// ferryd writes small entries; anything larger did not come from it.
const qint64 kMaxEntrySize = 64 * 1024;
const int kMaxEntries = 10000;

struct Entry
{
    QString name;
    QString package;
};

bool readEntry(const QString &path, Entry *entry)
{
    QFile file(path);
    if (file.size() > kMaxEntrySize || !file.open(QIODevice::ReadOnly))
        return false;
    bool inMainGroup = false;
    const QList<QByteArray> lines = file.read(kMaxEntrySize).split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QString value = QString::fromUtf8(line.mid(eq + 1).trimmed());
        if (key == "Name")
            entry->name = value;
        else if (key == "X-ferryd-packageName")
            entry->package = value;
    }
    return !entry->package.isEmpty();
}

} // namespace

namespace InstalledApps {

QString applicationsDir()
{
    const QByteArray dir = qgetenv("FERRYD_APPLICATIONS_DIR");
    return dir.isEmpty() ? QStringLiteral("/usr/share/applications") : QString::fromLocal8Bit(dir);
}

QList<InstalledApp> list(const QString &dir)
{
    QList<InstalledApp> apps;
    const QDir d(dir);
    const QStringList names = d.entryList({QStringLiteral("ferryd_launcher_*.desktop")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (apps.size() >= kMaxEntries)
            break;
        Entry entry;
        if (!readEntry(d.filePath(name), &entry))
            continue;
        apps << InstalledApp{entry.package, entry.name, d.filePath(name)};
    }
    std::stable_sort(apps.begin(), apps.end(),
                     [](const InstalledApp &a, const InstalledApp &b) { return a.package < b.package; });
    return apps;
}

} // namespace InstalledApps
