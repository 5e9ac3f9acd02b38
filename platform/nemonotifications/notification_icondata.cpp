#include "notification.h"

#include <QDBusArgument>
#include <QImage>

// Kept apart so that programs which never send pixel data do not pull in
// the image code.
void Notification::setIconData(const QImage &image)
{
    if (image.isNull()) {
        setHintValue(QStringLiteral("image-data"), QVariant());
        return;
    }
    // Notification servers take "image-data" as (iiibiiay): width, height,
    // row stride, alpha, bits per sample, channels, RGBA bytes.
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    const QByteArray bytes(reinterpret_cast<const char *>(rgba.constBits()), int(rgba.sizeInBytes()));
    QDBusArgument arg;
    arg.beginStructure();
    arg << rgba.width() << rgba.height() << int(rgba.bytesPerLine()) << true << 8 << 4 << bytes;
    arg.endStructure();
    setHintValue(QStringLiteral("image-data"), QVariant::fromValue(arg));
}
