#pragma once

#include <QByteArray>
#include <QString>

// The six bytes of a MAC address written as hexadecimal pairs, with or
// without colons ("AA:bb:CC:00:11:22", "aabbcc001122"), surrounding
// white space ignored. Anything else (missing, short, long, not hex) gives
// six zero bytes: the receivers take exactly six, and an unknown address
// must not turn into a made-up one.
QByteArray macAddressBytes(const QString &text);
