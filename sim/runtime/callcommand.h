#pragma once

#include <QJsonObject>

class SimRuntime;

// The "call" command: a transaction from the Android side to a service
// that the host registered, with typed arguments, e.g.
//
//   {"cmd":"call","service":"novum.launcher","code":1,
//    "args":[{"s16":"text"},{"i32":5},{"null_s16":true},{"binder":null}]}
//
// Returns the answer object: status, and for two-way calls the reply as
// hex bytes and as little-endian int32 words.
QJsonObject executeCall(SimRuntime &runtime, const QJsonObject &command);
