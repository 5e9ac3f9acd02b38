#include "simruntime.h"

#include "runtimeproperties.h"
#include "simservice.h"
#include "transactionlog.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/service_manager.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace ferry::binder;

namespace {
const int kStopGraceMs = 2000;
const int kUnlistPollMs = 20;
const int kUnlistAttempts = 150;

void logEvent(const QString &what, const QString &name)
{
    TransactionLog::append({{QStringLiteral("event"), what}, {QStringLiteral("service"), name}});
}
} // namespace

SimRuntime::SimRuntime(const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
}

SimRuntime::~SimRuntime()
{
    shutdown();
}

const QStringList &SimRuntime::devices()
{
    static const QStringList list{QStringLiteral("/dev/vororoveredi"),
                                  QStringLiteral("/dev/vndvororoveredi"),
                                  QStringLiteral("/dev/hwvororoveredi")};
    return list;
}

QString SimRuntime::protocolNameFor(const QString &device)
{
    // The same choice the host side makes, so both speak one variant.
    return QString::fromLatin1(protocolName(protocolForDevice(device.toStdString())));
}

void SimRuntime::start()
{
    QStringList present;
    for (const QString &device : devices()) {
        if (QFile::exists(device))
            present << device;
        else
            std::fprintf(stderr, "ferry-runtime-sim: %s missing, not served\n", qPrintable(device));
    }
    if (!present.contains(devices().first())) {
        emit started(false, QStringLiteral("%1 does not exist").arg(devices().first()));
        return;
    }
    m_pendingStart = present.size();
    for (const QString &device : present) {
        Child *child = spawn(device, device,
                             {QStringLiteral("--serve-manager"), device, QStringLiteral("--protocol"),
                              protocolNameFor(device)});
        m_managers.insert(device, child);
        child->readyWaiters.push_back([this, device](bool ok, const QString &error) {
            if (m_started)
                return;
            if (!ok) {
                m_started = true;
                emit started(false, QStringLiteral("service manager on %1: %2").arg(device, error));
                return;
            }
            if (--m_pendingStart == 0)
                managersReady();
        });
    }
}

void SimRuntime::managersReady()
{
    const QStringList initial = m_options.allServices ? SimServiceRegistry::names() : m_options.services;
    for (const QString &name : initial) {
        if (!SimServiceRegistry::contains(name)) {
            m_started = true;
            emit started(false, QStringLiteral("no service %1").arg(name));
            return;
        }
    }
    m_pendingStart = initial.size();
    if (initial.isEmpty()) {
        servicesReady();
        return;
    }
    for (const QString &name : initial) {
        publish(name, [this, name](bool ok, const QString &error) {
            if (m_started)
                return;
            if (!ok) {
                m_started = true;
                emit started(false, QStringLiteral("service %1: %2").arg(name, error));
                return;
            }
            if (--m_pendingStart == 0)
                servicesReady();
        });
    }
}

void SimRuntime::servicesReady()
{
    m_started = true;
    writeReadyFile();
    emit started(true, QString());
}

void SimRuntime::writeReadyFile()
{
    if (m_options.readyFile.isEmpty())
        return;
    QFile file(m_options.readyFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write("ready\n");
    else
        std::fprintf(stderr, "ferry-runtime-sim: cannot create %s\n", qPrintable(m_options.readyFile));
}

SimRuntime::Child *SimRuntime::spawn(const QString &name, const QString &device,
                                     const QStringList &arguments)
{
    auto *child = new Child;
    child->name = name;
    child->device = device;
    child->process = new QProcess(this);
    child->process->setProgram(QCoreApplication::applicationFilePath());
    child->process->setArguments(QStringList(arguments)
                                 << QStringLiteral("--parent-pid") << QString::number(::getpid()));
    child->process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(child->process, &QProcess::readyReadStandardOutput, this, [this, child] { onChildOutput(child); });
    connect(child->process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, child] { onChildFinished(child); });
    connect(child->process, &QProcess::errorOccurred, this, [this, child](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onChildFinished(child);
    });
    child->process->start();
    return child;
}

void SimRuntime::onChildOutput(Child *child)
{
    const QByteArray out = child->process->readAllStandardOutput();
    if (child->ready || !out.contains("ready"))
        return;
    child->ready = true;
    const auto waiters = std::move(child->readyWaiters);
    child->readyWaiters.clear();
    for (const Done &done : waiters)
        done(true, QString());
}

void SimRuntime::onChildFinished(Child *child)
{
    const bool isManager = m_managers.value(child->device) == child && child->name == child->device;
    if (isManager)
        m_managers.remove(child->device);
    else if (m_services.value(child->name) == child)
        m_services.remove(child->name);
    else
        return;   // reported twice (error and finished)

    const auto readyWaiters = std::move(child->readyWaiters);
    const auto finishWaiters = std::move(child->finishWaiters);
    const bool expected = child->stopping || m_shuttingDown;
    const QString name = child->name;
    child->process->disconnect(this);
    child->process->deleteLater();
    delete child;

    for (const Done &done : readyWaiters)
        done(false, QStringLiteral("exited before it was ready"));
    for (const auto &finished : finishWaiters)
        finished();

    if (!expected) {
        std::fprintf(stderr, "ferry-runtime-sim: %s %s ended on its own\n",
                     isManager ? "service manager on" : "service", qPrintable(name));
        if (isManager && m_started) {
            // Without its service manager the runtime is gone.
            QCoreApplication::exit(1);
        } else if (!isManager) {
            logEvent(QStringLiteral("died"), name);
        }
    }
}

void SimRuntime::publish(const QString &name, Done done)
{
    if (!SimServiceRegistry::contains(name)) {
        done(false, QStringLiteral("no service %1").arg(name));
        return;
    }
    if (Child *child = m_services.value(name)) {
        if (child->stopping)
            done(false, QStringLiteral("%1 is being stopped").arg(name));
        else if (child->ready)
            done(true, QString());
        else
            child->readyWaiters.push_back(std::move(done));
        return;
    }
    const std::unique_ptr<SimService> probe = SimServiceRegistry::create(name);
    Child *child = spawn(name, probe->device(), {QStringLiteral("--host-service"), name});
    m_services.insert(name, child);
    child->readyWaiters.push_back([name, done](bool ok, const QString &error) {
        if (ok)
            logEvent(QStringLiteral("published"), name);
        done(ok, error);
    });
}

void SimRuntime::withdraw(const QString &name, Done done)
{
    Child *child = m_services.value(name);
    if (!child) {
        done(true, QString());
        return;
    }
    const QString device = child->device;
    stopChild(child, false, [this, name, device, done] {
        logEvent(QStringLiteral("withdrawn"), name);
        waitUntilUnlisted(name, device, done, kUnlistAttempts);
    });
}

void SimRuntime::killRemote(const QString &name, bool republish, Done done)
{
    Child *child = m_services.value(name);
    if (!child) {
        done(false, QStringLiteral("%1 is not published").arg(name));
        return;
    }
    const QString device = child->device;
    stopChild(child, true, [this, name, device, republish, done] {
        logEvent(QStringLiteral("killed"), name);
        waitUntilUnlisted(name, device, [this, name, republish, done](bool ok, const QString &error) {
            if (ok && republish)
                publish(name, done);
            else
                done(ok, error);
        }, kUnlistAttempts);
    });
}

void SimRuntime::restartManager(const QString &device, int downMs, Done done)
{
    Child *child = m_managers.value(device);
    if (!child || child->stopping) {
        done(false, QStringLiteral("no service manager on %1").arg(device));
        return;
    }
    stopChild(child, true, [this, device, downMs, done] {
        logEvent(QStringLiteral("killed"), device);
        QTimer::singleShot(qMax(0, downMs), this, [this, device, done] {
            if (m_shuttingDown || m_managers.contains(device)) {
                done(false, QStringLiteral("shutting down"));
                return;
            }
            Child *fresh = spawn(device, device,
                                 {QStringLiteral("--serve-manager"), device, QStringLiteral("--protocol"),
                                  protocolNameFor(device)});
            m_managers.insert(device, fresh);
            fresh->readyWaiters.push_back([device, done](bool ok, const QString &error) {
                if (ok)
                    logEvent(QStringLiteral("published"), device);
                done(ok, error);
            });
        });
    });
}

void SimRuntime::stopChild(Child *child, bool hard, std::function<void()> finished)
{
    child->stopping = true;
    child->finishWaiters.push_back(std::move(finished));
    if (hard)
        child->process->kill();
    else
        child->process->terminate();
}

void SimRuntime::waitUntilUnlisted(const QString &name, const QString &device, Done done,
                                   int attemptsLeft)
{
    // HIDL names carry the interface; only plain names can be checked.
    if (isHidlDevice(device.toStdString())) {
        done(true, QString());
        return;
    }
    const std::shared_ptr<ServiceManager> manager = serviceManager(device);
    bool listed = false;
    if (manager) {
        for (const std::string &n : manager->listSync())
            listed = listed || QString::fromStdString(n) == name;
    }
    if (!listed) {
        done(true, QString());
        return;
    }
    if (attemptsLeft <= 0) {
        done(false, QStringLiteral("%1 is still registered").arg(name));
        return;
    }
    QTimer::singleShot(kUnlistPollMs, this, [this, name, device, done, attemptsLeft] {
        waitUntilUnlisted(name, device, done, attemptsLeft - 1);
    });
}

void SimRuntime::shutdown()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    // Services first: their names then vanish from live service managers.
    for (QHash<QString, Child *> *children : {&m_services, &m_managers}) {
        const QList<Child *> list = children->values();
        children->clear();
        for (Child *child : list) {
            child->process->disconnect(this);
            child->process->terminate();
        }
        for (Child *child : list) {
            if (!child->process->waitForFinished(kStopGraceMs)) {
                child->process->kill();
                child->process->waitForFinished(kStopGraceMs);
            }
            delete child->process;
            delete child;
        }
    }
    m_clients.clear();
    m_kept.clear();
}

QStringList SimRuntime::publishedServices() const
{
    QStringList names;
    for (auto it = m_services.constBegin(); it != m_services.constEnd(); ++it)
        if (it.value()->ready && !it.value()->stopping)
            names << it.key();
    names.sort();
    return names;
}

QJsonObject SimRuntime::info() const
{
    QJsonObject devicesObject;
    for (auto it = m_managers.constBegin(); it != m_managers.constEnd(); ++it)
        devicesObject.insert(it.key(), protocolNameFor(it.key()));
    return {
        {QStringLiteral("sdk"), sdkVersion()},
        {QStringLiteral("release"), androidRelease()},
        {QStringLiteral("securityPatch"), securityPatch()},
        {QStringLiteral("devices"), devicesObject},
        {QStringLiteral("services"), QJsonArray::fromStringList(publishedServices())},
        {QStringLiteral("available"), QJsonArray::fromStringList(SimServiceRegistry::names())},
    };
}

std::shared_ptr<ServiceManager> SimRuntime::serviceManager(const QString &device)
{
    auto it = m_clients.find(device);
    if (it != m_clients.end())
        return it.value();
    std::shared_ptr<ServiceManager> manager = ServiceManager::get(device.toStdString());
    if (manager)
        m_clients.insert(device, manager);
    return manager;
}

void SimRuntime::keep(const std::shared_ptr<LocalObject> &object)
{
    m_kept.push_back(object);
}
