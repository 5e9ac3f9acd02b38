#include "quitonsignal.h"

#include <QCoreApplication>

#include <glib-unix.h>
#include <csignal>

namespace {

gboolean quitApplication(gpointer)
{
    QCoreApplication::quit();
    return G_SOURCE_CONTINUE;
}

} // namespace

void quitOnTerminationSignals()
{
    // Qt's event dispatcher runs the default GLib context, where these
    // sources are dispatched; the handler itself runs outside signal context.
    g_unix_signal_add(SIGTERM, quitApplication, nullptr);
    g_unix_signal_add(SIGINT, quitApplication, nullptr);
}
