#include "desktopmanager.h"

#include "logging.h"

#include <QDir>
#include <QFile>

namespace {

// The key/value lines after "[Desktop Entry]"; a later key wins.
QMap<QString, QString> readDesktopEntry(const QString &path)
{
    QMap<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    bool inEntry = false;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine(64 * 1024));
        if (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        if (!inEntry) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    return values;
}

} // namespace

DesktopManager::DesktopManager(const QString &dataRoot, QObject *parent)
    : QObject(parent), m_dataRoot(dataRoot)
{
}

QString DesktopManager::applicationsDir()
{
    const QByteArray env = qgetenv("FERRYD_APPLICATIONS_DIR");
    return env.isEmpty() ? QStringLiteral("/usr/share/applications/") : QString::fromLocal8Bit(env);
}

QMap<QString, QStringList> DesktopManager::desktopEntriesByPackage() const
{
    QMap<QString, QStringList> result;
    const QDir dir(applicationsDir());
    const QStringList names =
        dir.entryList({"ferryd_launcher_*.desktop", "ferryd_handler_*.desktop"}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = dir.absoluteFilePath(name);
        const QString package = readDesktopEntry(path).value("X-ferryd-packageName");
        if (!package.isEmpty())
            result[package] << path;
    }
    return result;
}

QString DesktopManager::packageForDesktopEntry(const QString &path) const
{
    const QMap<QString, QStringList> entries = desktopEntriesByPackage();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.value().contains(path)) {
            qCDebug(lcLauncher) << "Resolved:" << path << "-> " << it.key();
            return it.key();
        }
    }
    return path;
}

QString DesktopManager::appDisplayName(const QString &package) const
{
    const QStringList entries = desktopEntriesByPackage().value(package);
    if (entries.isEmpty())
        return package;
    return readDesktopEntry(entries.first()).value("Name");
}

QStringList DesktopManager::allDesktopEntries() const
{
    QStringList all;
    const QMap<QString, QStringList> entries = desktopEntriesByPackage();
    for (const QStringList &list : entries)
        all << list;
    return all;
}

void DesktopManager::onCreateLauncher(ApkLauncher launcher)
{
    qCWarning(lcLauncher) << "Desktop entries are not written yet; ignoring launcher" << launcher.packageName
                          << launcher.className;
}

void DesktopManager::onRemovePackage(const QString &package)
{
    qCWarning(lcLauncher) << "Desktop entries are not removed yet; ignoring removal of" << package;
}

void DesktopManager::onLaunchersComplete()
{
    qCDebug(lcLauncher) << "Launchers complete";
}

void DesktopManager::refreshDesktop()
{
}
