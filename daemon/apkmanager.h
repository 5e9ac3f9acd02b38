#pragma once

#include "apklauncher.h"
#include "novumbinderservice.h"

#include <QObject>

class NovumParcel;

// The launcher service "novum.launcher" through which the runtime reports
// launcher activities, handlers, removed packages and the end of its
// report after a start. Each event is handled (through direct connections)
// before the transaction is answered.
class ApkManager : public NovumBinderService
{
    Q_OBJECT
public:
    enum Code {
        LauncherAddedCode = 1,
        LaunchersCompleteCode = 2,
        PackageRemovedCode = 3,
        HandlerAddedCode = 4,
    };

    explicit ApkManager(QObject *parent = nullptr);

    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override;

    // The arguments of a launcher (code 1) and of a handler (code 4).
    static ApkLauncher readLauncher(NovumParcel &reader);
    static ApkLauncher readHandler(NovumParcel &reader);

signals:
    void addLauncher(ApkLauncher launcher);
    void packageRemoved(const QString &package);
    void launchersComplete();
};
