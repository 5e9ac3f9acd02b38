#pragma once

#include "halproxy.h"

// The host's camera provider for the runtime.
class CameraServiceProxy : public HalProxy
{
    Q_OBJECT
public:
    explicit CameraServiceProxy(QObject *parent = nullptr)
        : HalProxy(QStringLiteral("legacy/0"),
                   {QStringLiteral("android.hardware.camera.provider@2.4::ICameraProvider")}, parent)
    {
    }
};
