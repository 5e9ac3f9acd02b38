// gio names a struct member "signals", which Qt defines as a keyword:
// dconf's headers come before any of Qt's.
#include <dconf.h>

#include "mgconfitem.h"

#include "dconfvalue_p.h"
#include "mgconfitem_p.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcConfItem, "com.kestrel.ferryd.config", QtWarningMsg)

namespace {

void onChanged(DConfClient *, const gchar *prefix, const gchar *const *changes, const gchar *, gpointer data)
{
    static_cast<MGConfItemPrivate *>(data)->changed(prefix, changes);
}

} // namespace

DConfClient *MGConfItemPrivate::client()
{
    // Lives until exit: dconf delivers change signals for as long as the
    // process runs, and items come and go.
    static DConfClient *const shared = dconf_client_new();
    return shared;
}

bool MGConfItemPrivate::isValidKey(const QByteArray &key)
{
    return dconf_is_key(key.constData(), nullptr);
}

MGConfItemPrivate::MGConfItemPrivate(MGConfItem *item, const QString &key)
    : q(item)
    , key(key)
    , path(key.toUtf8())
{
    valid = !path.contains('\0') && isValidKey(path);
    if (!valid) {
        qCWarning(lcConfItem) << "Not a configuration key:" << key;
        return;
    }
    DConfClient *c = client();
    handler = g_signal_connect(c, "changed", G_CALLBACK(onChanged), this);
    dconf_client_watch_fast(c, path.constData());
    cached = read();
}

MGConfItemPrivate::~MGConfItemPrivate()
{
    if (!valid)
        return;
    g_signal_handler_disconnect(client(), handler);
    dconf_client_unwatch_fast(client(), path.constData());
}

QVariant MGConfItemPrivate::read() const
{
    GVariant *value = dconf_client_read(client(), path.constData());
    QVariant result = DconfValue::toVariant(value);
    if (value)
        g_variant_unref(value);
    return result;
}

void MGConfItemPrivate::changed(const char *prefix, const char *const *changes)
{
    // A change names a key, or a directory (ending in '/') whose whole
    // subtree may have changed.
    const QByteArray base(prefix);
    bool concerned = false;
    for (int i = 0; changes && changes[i] && !concerned; ++i) {
        const QByteArray full = base + changes[i];
        concerned = full == path || (full.endsWith('/') && path.startsWith(full));
    }
    if (!concerned)
        return;
    QVariant now = read();
    if (now == cached && now.type() == cached.type())
        return;
    cached = now;
    emit q->valueChanged();
}

MGConfItem::MGConfItem(const QString &key, QObject *parent)
    : QObject(parent)
    , d(new MGConfItemPrivate(this, key))
{
}

MGConfItem::~MGConfItem() = default;

QString MGConfItem::key() const
{
    return d->key;
}

QVariant MGConfItem::value() const
{
    return d->valid ? d->read() : QVariant();
}

QVariant MGConfItem::value(const QVariant &defaultValue) const
{
    const QVariant current = value();
    return current.isValid() ? current : defaultValue;
}

void MGConfItem::set(const QVariant &value)
{
    if (!d->valid)
        return;
    if (!value.isValid()) {
        unset();
        return;
    }
    GVariant *stored = DconfValue::fromVariant(value);
    if (!stored) {
        qCWarning(lcConfItem) << "Cannot store" << value.typeName() << "in" << d->key;
        return;
    }
    GError *error = nullptr;
    if (!dconf_client_write_fast(MGConfItemPrivate::client(), d->path.constData(), stored, &error)) {
        qCWarning(lcConfItem) << "Cannot write" << d->key << ":" << (error ? error->message : "");
        g_clear_error(&error);
    }
}

void MGConfItem::unset()
{
    if (!d->valid)
        return;
    GError *error = nullptr;
    if (!dconf_client_write_fast(MGConfItemPrivate::client(), d->path.constData(), nullptr, &error)) {
        qCWarning(lcConfItem) << "Cannot reset" << d->key << ":" << (error ? error->message : "");
        g_clear_error(&error);
    }
}

bool MGConfItem::sync()
{
    dconf_client_sync(MGConfItemPrivate::client());
    return true;
}
