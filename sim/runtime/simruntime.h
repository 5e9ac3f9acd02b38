#pragma once

#include "simoptions.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QProcess;

namespace ferry::binder {
class LocalObject;
class ServiceManager;
}

// The coordinator of the simulated runtime. It starts one child process per
// binder device serving the service manager (the context manager cannot
// call itself, so Android-side services must live elsewhere) and one child
// per published service, so that withdrawing or killing a service is a
// real binder death. Once the service managers and the initial services are
// up it creates the ready file.
class SimRuntime : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(bool ok, const QString &error)>;

    explicit SimRuntime(const SimOptions &options, QObject *parent = nullptr);
    ~SimRuntime() override;

    // Starts the service managers and initial services; emits started().
    void start();
    // Stops every child: services first, then the service managers.
    void shutdown();

    void publish(const QString &name, Done done);
    // Ends the service's process (SIGTERM) and waits until its name is gone
    // from the service manager.
    void withdraw(const QString &name, Done done);
    // SIGKILL, as a crash would; optionally publishes it again afterwards.
    void killRemote(const QString &name, bool republish, Done done);

    // Kills the device's service manager as a crash would and starts a
    // fresh one (which knows no names) after downMs.
    void restartManager(const QString &device, int downMs, Done done);

    QStringList publishedServices() const;
    QJsonObject info() const;

    // This process's client of a device's service manager (for calls into
    // services that the host registered).
    std::shared_ptr<ferry::binder::ServiceManager> serviceManager(const QString &device);
    // Keeps an object created for a call argument alive for the run.
    void keep(const std::shared_ptr<ferry::binder::LocalObject> &object);

    static const QStringList &devices();
    static QString protocolNameFor(const QString &device);

signals:
    void started(bool ok, const QString &error);

private:
    struct Child
    {
        QString name;      // device for a service manager, service name otherwise
        QString device;
        QProcess *process = nullptr;
        bool ready = false;
        bool stopping = false;
        std::vector<Done> readyWaiters;
        std::vector<std::function<void()>> finishWaiters;
    };

    Child *spawn(const QString &name, const QString &device, const QStringList &arguments);
    void onChildOutput(Child *child);
    void onChildFinished(Child *child);
    void stopChild(Child *child, bool hard, std::function<void()> finished);
    void waitUntilUnlisted(const QString &name, const QString &device, Done done, int attemptsLeft);
    void managersReady();
    void servicesReady();
    void writeReadyFile();

    SimOptions m_options;
    QHash<QString, Child *> m_managers;   // by device
    QHash<QString, Child *> m_services;   // by service name
    QHash<QString, std::shared_ptr<ferry::binder::ServiceManager>> m_clients;
    std::vector<std::shared_ptr<ferry::binder::LocalObject>> m_kept;
    int m_pendingStart = 0;
    bool m_started = false;
    bool m_shuttingDown = false;
};
