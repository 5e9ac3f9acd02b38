#include "dconfvalue_p.h"

#include <QStringList>

#include <glib.h>

namespace DconfValue {

QVariant toVariant(GVariant *value)
{
    if (!value)
        return QVariant();
    const GVariantType *type = g_variant_get_type(value);
    if (g_variant_type_equal(type, G_VARIANT_TYPE_BOOLEAN))
        return bool(g_variant_get_boolean(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_BYTE))
        return int(g_variant_get_byte(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_INT16))
        return int(g_variant_get_int16(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_UINT16))
        return int(g_variant_get_uint16(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_INT32))
        return int(g_variant_get_int32(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_UINT32))
        return uint(g_variant_get_uint32(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_INT64))
        return qlonglong(g_variant_get_int64(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_UINT64))
        return qulonglong(g_variant_get_uint64(value));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_DOUBLE))
        return g_variant_get_double(value);
    if (g_variant_type_equal(type, G_VARIANT_TYPE_STRING) || g_variant_type_equal(type, G_VARIANT_TYPE_OBJECT_PATH))
        return QString::fromUtf8(g_variant_get_string(value, nullptr));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_STRING_ARRAY)) {
        QStringList list;
        gsize count = 0;
        const gchar **strings = g_variant_get_strv(value, &count);
        for (gsize i = 0; i < count; ++i)
            list << QString::fromUtf8(strings[i]);
        g_free(strings);
        return list;
    }
    return QVariant();
}

GVariant *fromVariant(const QVariant &value)
{
    switch (int(value.type())) {
    case QMetaType::Bool:
        return g_variant_new_boolean(value.toBool());
    case QMetaType::Int:
        return g_variant_new_int32(value.toInt());
    case QMetaType::UInt:
        return g_variant_new_uint32(value.toUInt());
    case QMetaType::LongLong:
        return g_variant_new_int64(value.toLongLong());
    case QMetaType::ULongLong:
        return g_variant_new_uint64(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return g_variant_new_double(value.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        // dconf keeps UTF-8; a string with an embedded NUL would be cut.
        const QByteArray utf8 = value.toString().toUtf8();
        if (utf8.contains('\0'))
            return nullptr;
        return g_variant_new_string(utf8.constData());
    }
    case QMetaType::QStringList: {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE_STRING_ARRAY);
        for (const QString &s : value.toStringList()) {
            const QByteArray utf8 = s.toUtf8();
            if (utf8.contains('\0')) {
                g_variant_builder_clear(&builder);
                return nullptr;
            }
            g_variant_builder_add(&builder, "s", utf8.constData());
        }
        return g_variant_builder_end(&builder);
    }
    default:
        return nullptr;
    }
}

} // namespace DconfValue
