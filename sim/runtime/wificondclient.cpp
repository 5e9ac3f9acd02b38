// Android's wificond client (WificondControl): the client interface for
// "wlan0", its scanner, and the signal poll of the connected network.
//
// op "wificond-start": createClientInterface (2, String16 "wlan0") kept as
// "clientInterface", its getWifiScannerImpl (5) kept as "scanner".
// op "signal-poll": signalPoll (2), the reply's int array.
#include "wifistack.h"

QJsonArray wificondSteps(const QString &op, const QJsonObject &)
{
    if (op == QLatin1String("wificond-start")) {
        return {
            QJsonObject{{QStringLiteral("target"), QStringLiteral("wificond")}, {QStringLiteral("code"), 2},
                        {QStringLiteral("args"), QJsonArray{QJsonObject{{QStringLiteral("s16"), QStringLiteral("wlan0")}}}},
                        {QStringLiteral("reply"), QJsonArray{QStringLiteral("object")}},
                        {QStringLiteral("keep"), QStringLiteral("clientInterface")}},
            QJsonObject{{QStringLiteral("target"), QStringLiteral("clientInterface")}, {QStringLiteral("code"), 5},
                        {QStringLiteral("reply"), QJsonArray{QStringLiteral("object")}},
                        {QStringLiteral("keep"), QStringLiteral("scanner")}},
        };
    }
    if (op == QLatin1String("signal-poll")) {
        return {QJsonObject{{QStringLiteral("target"), QStringLiteral("clientInterface")}, {QStringLiteral("code"), 2},
                            {QStringLiteral("reply"), QJsonArray{QStringLiteral("ints")}}}};
    }
    return {};
}
