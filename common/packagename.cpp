#include "packagename.h"

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isAsciiWordCharacter(QChar c)
{
    return isAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
}

} // namespace

bool PackageName::isValid(const QString &name)
{
    bool segmentStart = true;
    for (const QChar c : name) {
        if (c == QLatin1Char('.')) {
            if (segmentStart)
                return false;
            segmentStart = true;
        } else if (segmentStart ? !isAsciiLetter(c) : !isAsciiWordCharacter(c)) {
            return false;
        } else {
            segmentStart = false;
        }
    }
    return !segmentStart;
}
