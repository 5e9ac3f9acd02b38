#pragma once

#include <QJsonObject>

class SimRuntime;

// The "notify" command: Android's notification service posting to the
// host's "novum.notification", through the "notificationposter" service
// (which must be published):
//
//   {"cmd":"notify","op":"register"}
//   {"cmd":"notify","op":"post","record":{"key":"k","title":"T",...},"oneway":false}
//   {"cmd":"notify","op":"remove","key":"k"}
//   {"cmd":"notify","op":"raw","code":2,"hex":"0100..."}
//   {"cmd":"notify","op":"post-many","record":{...},"count":2000}
//
// Answers "status", the host's binder status; post-many also "wallUs",
// "medianUs" and "p99Us" of its posts.
QJsonObject executeNotify(SimRuntime &runtime, const QJsonObject &command);
