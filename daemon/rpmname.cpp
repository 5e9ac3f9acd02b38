#include "rpmname.h"

QString rpmNameForApk(const QString &name)
{
    QString result = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    if (result.endsWith(QLatin1String(".apk")))
        result.truncate(result.lastIndexOf(QLatin1Char('.')));
    const int dash = result.indexOf(QLatin1Char('-'));
    if (dash >= 0)
        result.truncate(dash);
    return result;
}
