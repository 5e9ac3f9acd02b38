#pragma once

#include <QJsonObject>

// The simulator's log of what the Android side received: one JSON object
// per line in the file named by $FERRY_SIM_LOG (nothing is written when it
// is unset). Every process of the simulator appends to the same file; each
// line goes out in a single write on an O_APPEND descriptor, so lines from
// different processes never interleave.
namespace TransactionLog {
void append(const QJsonObject &line);
}
