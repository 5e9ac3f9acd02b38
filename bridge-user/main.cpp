#include "gnss/gnssservice.h"
#include "mce/mceservice.h"
#include "media/novumfileobserver.h"
#include "media/novummediacontrollistener.h"
#include "nativecall/novumnativecall.h"
#include "proxies/cameraserviceproxy.h"
#include "proxies/grallocserviceproxy.h"
#include "proxies/powerserviceproxy.h"
#include "quitonsignal.h"
#include "sensors/sensorservice.h"
#include "vibrator/vibratorservice.h"
#include "wifi/novumwifimonitor.h"

#include <QGuiApplication>

int main(int argc, char **argv)
{
    // The bridge runs in the user's session, which may have no display
    // (started before the compositor, or headless); it draws nothing.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    quitOnTerminationSignals();

    int status = 0;
    {
        // Constructed in this order and destroyed in the reverse one.
        GnssService gnss;
        SensorService sensors;
        VibratorService vibrator;
        NovumMediaControlListener mediaControl;
        NovumFileObserver fileObserver;
        MceService mce;
        NovumWifiMonitor wifi;
        NovumNativeCall nativeCall;
        GrallocServiceProxy gralloc;
        PowerServiceProxy power;
        CameraServiceProxy camera;

        status = app.exec();
    }
    // The session log (and the tests) tell an orderly stop from a kill.
    qInfo("ferryd-bridge-user: stopped");
    return status;
}
