#pragma once

#include "intent.h"

#include <QString>
#include <QVariantMap>

// The Intents the daemon sends for D-Bus requests: launching an activity,
// forwarding a host share, the settings and legal pages. Input comes from
// any D-Bus caller; values are expected unwrapped (plainDBusValue) already.
namespace IntentBuilder {

constexpr int32_t kNewTaskOnHome = 0x10004000;    // new task, task on home
constexpr int32_t kNewTaskClearTask = 0x10008000; // new task, clear task

Intent launchIntent(const QString &action, const QString &data, const QString &type,
                    const QString &packageName, const QString &className, const QString &category,
                    const QVariantMap &extras);

// The send Intent for a share configuration ("resources", "mimeType",
// "title", "selectedTransferMethodInfo"). False when there is nothing to
// send: no resources, or a "methodId" that does not name exactly one
// package and one class ("package/class"); the latter with a warning.
bool shareIntent(const QVariantMap &configuration, Intent *intent);

Intent appSettingsIntent(const QString &packageName);
Intent licensesIntent();

// A value a bundle can carry: the small D-Bus integer types become int,
// lists of strings string lists; everything else is left as it is.
QVariant bundleValue(const QVariant &value);

} // namespace IntentBuilder
