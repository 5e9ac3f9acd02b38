#pragma once

#include <QJsonObject>

class NovumParcel;

// Reads an Intent from a request as the runtime would and describes it as
// JSON for the transaction log: every field of the parcel layout, extras
// with their values (Uris and Uri arrays included, which the codec leaves
// unread), a selector as a nested object, clip data by label and items.
// A value the reader does not know stops the extras and is noted under
// "unreadable".
QJsonObject readIntentJson(NovumParcel &in, int sdk, int depth = 0);
