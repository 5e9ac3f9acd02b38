#include "contacts/contactsbridge.h"
#include "notifications/notificationmanager.h"
#include "quitonsignal.h"

#include <QCoreApplication>

#include <memory>

int main(int argc, char **argv)
{
    // No organisation or application name: the executable's name is the
    // application name, and with it the cache directory of the icons.
    QCoreApplication app(argc, argv);
    quitOnTerminationSignals();

    int status = 0;
    {
        // Constructed in this order and destroyed in the reverse one: the
        // notification bridge goes first, closing what it published on the
        // host while the contacts bridge and the bus connections still stand.
        auto contacts = std::make_unique<ContactsBridge>();
        auto notifications = std::make_unique<NotificationManager>();

        status = app.exec();

        notifications.reset();
        contacts.reset();
    }
    // The session log (and the tests) tell an orderly stop from a kill.
    qInfo("ferryd-bridge: stopped");
    return status;
}
