#pragma once

#include "halproxy.h"

// The host's graphics allocator (3.0, then 2.0) for the runtime.
class GrallocServiceProxy : public HalProxy
{
    Q_OBJECT
public:
    explicit GrallocServiceProxy(QObject *parent = nullptr)
        : HalProxy(QStringLiteral("default"),
                   {QStringLiteral("android.hardware.graphics.allocator@3.0::IAllocator"),
                    QStringLiteral("android.hardware.graphics.allocator@2.0::IAllocator")},
                   parent)
    {
    }
};
