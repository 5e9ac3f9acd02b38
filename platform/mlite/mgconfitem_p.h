#pragma once

#include <QByteArray>
#include <QVariant>

typedef struct _DConfClient DConfClient;

class MGConfItem;

class MGConfItemPrivate
{
public:
    MGConfItemPrivate(MGConfItem *item, const QString &key);
    ~MGConfItemPrivate();

    // One client per process: it keeps the database mapped and holds the
    // watches; items share it.
    static DConfClient *client();
    static bool isValidKey(const QByteArray &key);

    // Called from the client's "changed" signal on the item's main loop.
    void changed(const char *prefix, const char *const *changes);
    QVariant read() const;

    MGConfItem *q;
    QString key;
    QByteArray path;   // the key in UTF-8, as dconf takes it
    bool valid = false;
    QVariant cached;
    unsigned long handler = 0;
};
