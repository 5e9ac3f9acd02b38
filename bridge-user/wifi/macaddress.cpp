#include "macaddress.h"

namespace {

constexpr int kMacSize = 6;

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

} // namespace

QByteArray macAddressBytes(const QString &text)
{
    const QString digits = text.trimmed().toLower().remove(QLatin1Char(':'));
    const QByteArray none(kMacSize, '\0');
    if (digits.size() != 2 * kMacSize)
        return none;
    QByteArray bytes(kMacSize, '\0');
    for (int i = 0; i < kMacSize; ++i) {
        const int high = hexValue(digits.at(2 * i));
        const int low = hexValue(digits.at(2 * i + 1));
        if (high < 0 || low < 0)
            return none;
        bytes[i] = char(high << 4 | low);
    }
    return bytes;
}
