#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class NovumParcel;

// One notification as Android posts it (code 2 of "novum.notification"),
// field by field in the order of the parcel.
struct NotificationRecord
{
    // What one post may hand over: the decoded size of each icon and the
    // number of actions. Android itself posts a few small icons and at most
    // three actions; anything beyond these is an app misbehaving.
    static constexpr int kMaxIconBytes = 1024 * 1024;
    static constexpr int kMaxActions = 10;

    QString key;
    QString appName;
    QString title;
    QString text;
    QString subText;
    int32_t color = 0;          // ARGB
    QString smallIcon;          // Base64 of a PNG
    QString largeIcon;          // Base64 of a PNG
    QString packageName;
    bool silent = false;
    bool vibrate = false;
    int32_t ledColor = 0;       // ARGB
    int32_t progressMax = 0;
    int32_t progress = 0;
    bool progressIndeterminate = false;
    int64_t postTime = 0;       // ms since the epoch
    int32_t importance = 0;     // Android's importance scale
    int32_t number = 0;
    QString category;
    QString channelId;
    QStringList actions;
    // The parcel lied about a length or count: nothing in it can be trusted.
    bool malformed = false;

    // Reads the record; a parcel that ends early gives the reader's
    // defaults for the missing fields (empty strings, -1, false). Icons
    // over kMaxIconBytes are left empty, actions past kMaxActions and
    // action names that are empty or "app" (the bridge's own action) are
    // left out; each with a warning.
    static NotificationRecord read(NovumParcel &parcel);
};
