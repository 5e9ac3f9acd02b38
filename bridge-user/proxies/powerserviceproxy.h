#pragma once

#include "halproxy.h"

// The host's power HAL for the runtime.
class PowerServiceProxy : public HalProxy
{
    Q_OBJECT
public:
    explicit PowerServiceProxy(QObject *parent = nullptr)
        : HalProxy(QStringLiteral("default"), {QStringLiteral("android.hardware.power@1.0::IPower")}, parent)
    {
    }
};
