#pragma once

#include "novumbinderconnection.h"
#include "novumbinderrequesthandler.h"

class NovumBinderCallback;

// Client of the runtime's own service ("novum"): launches packages,
// installs APKs on SDK levels where the package manager is not used
// directly, and listens for apps being closed, which it broadcasts as the
// signal appClosed of "com.kestrel.ferryd" on the system bus.
//
// One per process, created on first use and kept until exit.
class NovumServiceMonitor : public NovumBinderConnection, private NovumBinderRequestHandler
{
    Q_OBJECT
public:
    static NovumServiceMonitor *instance();

    void launchPackage(const QString &package);
    // Non-zero when the runtime accepted the install; 0 when not connected.
    int installViaNovumService(const QString &path, NovumBinderCallback *observer);

    enum Code { LaunchPackageCode = 1, InstallCode = 2, SetListenerCode = 15 };

private:
    NovumServiceMonitor();
    ~NovumServiceMonitor() override;
    void onConnectionChanged(bool connected);
    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override;

    NovumBinderCallback *m_listener = nullptr;
};
