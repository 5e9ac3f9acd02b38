#pragma once

#include <QVariant>

typedef struct _GVariant GVariant;

// Values between Qt and dconf's GVariants: booleans, integers, doubles,
// strings and string arrays. Anything else has no counterpart.
namespace DconfValue {

// An invalid QVariant for null or a type without a counterpart.
QVariant toVariant(GVariant *value);
// A new floating GVariant, or null when the value cannot be stored.
GVariant *fromVariant(const QVariant &value);

} // namespace DconfValue
