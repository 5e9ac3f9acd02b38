#pragma once

#include <QStringList>

class Notification;

// Whether a re-post of an Android notification changes what the user sees:
// summary, body, expire timeout, timestamp, item count, colour, LED colour,
// progress and priority. An unchanged re-post is published silently.
namespace NotificationComparison {

// One line per field that differs, naming the field and both values.
QStringList differences(const Notification &previous, const Notification &next);

} // namespace NotificationComparison
