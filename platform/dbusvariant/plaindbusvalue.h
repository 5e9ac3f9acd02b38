#pragma once

#include <QVariant>

// The plain value inside what QtDBus delivered for a "v" (or any container
// holding variants): QDBusVariant wrappers are taken off, and values Qt
// leaves as QDBusArgument become
//   a{..}  -> QVariantMap (keys as strings)
//   as     -> QStringList
//   ay     -> QByteArray
//   other arrays and structures -> QVariantList
// recursively, so a map inside a list inside a variant comes out as plain
// Qt values. Object paths and signatures become strings. Anything else is
// returned as it is. Nesting is bounded by the bus (D-Bus allows at most 64
// levels), so the recursion is too.
QVariant plainDBusValue(const QVariant &value);
