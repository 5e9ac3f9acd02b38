#include "runtimeproperties.h"
#include "runtimeproperties_p.h"

#include "logging.h"

#include <QFile>
#include <QFileInfo>

namespace {

const char kDefaultBuildProp[] = "/opt/novum//build.prop";
// A real build.prop is a few kilobytes. Stop early on anything far larger
// so that a wrong file cannot stall the caller.
const qint64 kMaxBytes = 4 * 1024 * 1024;
const qint64 kMaxLine = 64 * 1024;

struct RuntimeProperties
{
    int sdk = 0;
    QString release;
    QString securityPatch;
};

RuntimeProperties &cache()
{
    static RuntimeProperties props;
    return props;
}

void readBuildProperties()
{
    RuntimeProperties props;
    const QString path = buildPropertiesPath();

    // Only regular files: a FIFO or device under that name would block or
    // never end.
    QFile file(path);
    if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly)) {
        qint64 total = 0;
        while (!file.atEnd() && total < kMaxBytes) {
            const QByteArray raw = file.readLine(kMaxLine);
            if (raw.isEmpty())
                break;
            total += raw.size();
            if (!raw.endsWith('\n') && !file.atEnd()) {
                // Overlong line: skip all of it, so that no piece of it can
                // pass for a line of its own.
                QByteArray rest;
                do {
                    rest = file.readLine(kMaxLine);
                    total += rest.size();
                } while (!rest.isEmpty() && !rest.endsWith('\n') && total < kMaxBytes);
                continue;
            }
            const QString line = QString::fromUtf8(raw).trimmed();
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq < 0)
                continue;
            // The value ends at the next "=", as the runtime's own tools
            // write no "=" inside values.
            const QString key = line.left(eq).trimmed();
            const int end = line.indexOf(QLatin1Char('='), eq + 1);
            const QString value = line.mid(eq + 1, end < 0 ? -1 : end - eq - 1).trimmed();
            if (key == QLatin1String("ro.build.version.sdk"))
                props.sdk = value.toInt();
            else if (key == QLatin1String("ro.build.version.release"))
                props.release = value;
            else if (key == QLatin1String("ro.build.version.security_patch"))
                props.securityPatch = value;
        }
    }

    // Values found before stay as they are: callers have already acted on
    // them.
    RuntimeProperties &cached = cache();
    if (cached.sdk == 0)
        cached.sdk = props.sdk;
    if (cached.release.isEmpty())
        cached.release = props.release;
    if (cached.securityPatch.isEmpty())
        cached.securityPatch = props.securityPatch;

    if (cached.sdk == 0) {
        if (path == QLatin1String(kDefaultBuildProp))
            qCCritical(lcConfig) << "Cannot find sdk version in" << "/opt/novum/" << "build properties";
        else
            qCCritical(lcConfig) << "Cannot find sdk version in" << path << "build properties";
    }
}

} // namespace

QString buildPropertiesPath()
{
    const QString custom = qEnvironmentVariable("FERRY_BUILD_PROP");
    return custom.isEmpty() ? QString::fromLatin1(kDefaultBuildProp) : custom;
}

void resetRuntimePropertiesCache()
{
    cache() = RuntimeProperties();
}

int sdkVersion()
{
    if (cache().sdk == 0)
        readBuildProperties();
    return cache().sdk;
}

QString androidRelease()
{
    if (cache().release.isEmpty())
        readBuildProperties();
    return cache().release;
}

QString securityPatch()
{
    if (cache().securityPatch.isEmpty())
        readBuildProperties();
    return cache().securityPatch;
}
