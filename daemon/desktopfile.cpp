#include "desktopfile.h"

#include "filereplace.h"
#include "logging.h"

#include <QFile>

namespace {
// Longest line read; anything longer is cut (no entry the daemon writes
// comes near it).
const qint64 kMaxLine = 64 * 1024;
}

DesktopFile::DesktopFile(const QString &path)
    : m_path(path)
    , m_values(load(path))
    , m_loaded(m_values)
{
}

DesktopFile::~DesktopFile()
{
    save();
}

QMap<QString, QString> DesktopFile::load(const QString &path)
{
    QMap<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    bool inEntry = false;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine(kMaxLine));
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

QByteArray DesktopFile::serialise(const QMap<QString, QString> &values)
{
    QByteArray out("[Desktop Entry]\n");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        out += QStringLiteral("%1=%2\n").arg(it.key(), it.value()).toUtf8();
    return out;
}

QString DesktopFile::value(const QString &key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd()) {
        qCWarning(lcLauncher) << "File" << m_path << "does not have key:" << key;
        return QString();
    }
    return it.value();
}

void DesktopFile::setValue(const QString &key, const QString &value)
{
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd() && it.value() == value)
        return;
    m_values.insert(key, value);
    m_dirty = true;
}

void DesktopFile::remove(const QString &key)
{
    if (m_values.remove(key) > 0)
        m_dirty = true;
}

bool DesktopFile::save()
{
    if (!m_dirty)
        return true;
    m_dirty = false;
    // A key removed and set again to its old value leaves the file as it is.
    if (m_values == m_loaded && QFile::exists(m_path))
        return true;
    qCDebug(lcLauncher) << "Updating:" << m_path;
    switch (replaceFile(m_path, serialise(m_values))) {
    case ReplaceResult::Written:
        m_loaded = m_values;
        return true;
    case ReplaceResult::OpenFailed:
        qCWarning(lcLauncher) << "Could not open" << m_path << "for writing";
        return false;
    case ReplaceResult::WriteFailed:
        qCWarning(lcLauncher) << "Could not write desktop file" << m_path;
        return false;
    }
    return false;
}
