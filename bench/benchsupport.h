#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

// Runs the Qt event loop until done() holds; false when timeoutMs passed first.
inline bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
