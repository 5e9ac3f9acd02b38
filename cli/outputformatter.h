#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Every command's result is one JSON object; this turns it into what
// `ferry` prints: the object itself with --json, readable lines without.
namespace OutputFormatter {

QString human(const QString &command, const QJsonObject &result);
QByteArray json(const QJsonObject &result);

// "512 B", "1.5 KiB", "3.0 GiB"; negative sizes (unknown) read "unknown".
QString formatBytes(qint64 bytes);
// Text from files or the runtime, made safe for a terminal: control
// characters become "?".
QString printable(const QString &text);

} // namespace OutputFormatter
