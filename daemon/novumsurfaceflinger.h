#pragma once

#include "novumbinderconnection.h"

// A short-lived connection to the runtime's compositor ("SurfaceFlinger"),
// made for one launch to learn when the launched app's window is up.
class NovumSurfaceFlinger : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumSurfaceFlinger(QObject *parent = nullptr);

    // Whether a window of the package exists; false when the call fails.
    bool hasWindow(const QString &package);

    static constexpr int kWindowCheckCode = 103;
};
