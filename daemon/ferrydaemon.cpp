#include "ferrydaemon.h"

#include "calleropen.h"
#include "callerprivilege.h"
#include "datapath.h"
#include "intentbuilder.h"
#include "ferrydaemonadaptor.h"
#include "logging.h"
#include "notification.h"
#include "novumservicemonitor.h"
#include "policyvalue.h"
#include "rpmname.h"
#include "rpmremoval.h"
#include "runtimeproperties.h"
#include "servicecontroller.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kObjectPath[] = "/com/kestrel/ferryd";
const char kServiceName[] = "com.kestrel.ferryd";

// Closes a descriptor on every way out.
class FdGuard
{
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

const int kWindowChecks = 10;
const int kWindowCheckIntervalMs = 500;
const int kDuTimeoutMs = 30000;

// "du -sxb" output: the byte count before the first tab; 0 when it does not
// parse, empty when there is no tab at all.
bool parseDuOutput(const QByteArray &output, qulonglong *bytes)
{
    QByteArray text = output;
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    const QStringList parts = QString::fromUtf8(text).split(QLatin1Char('\t'));
    if (parts.size() < 2)
        return false;
    bool ok = false;
    *bytes = parts.first().toULongLong(&ok);
    if (!ok)
        *bytes = 0;
    return true;
}

// Sizes from Android are untrusted: negative values count as nothing, and
// the data size without cache never goes below zero.
AppSizeInfo appSizeOf(const NovumStorageStatsManager::PackageStats &stats)
{
    AppSizeInfo info;
    info.codeBytes = qMax<qint64>(stats.codeBytes, 0);
    info.cacheBytes = qMax<qint64>(stats.cacheBytes, 0);
    info.dataBytes = qMax<qint64>(qMax<qint64>(stats.dataBytes, 0) - info.cacheBytes, 0);
    return info;
}

} // namespace

FerryDaemon::FerryDaemon(const QString &dataRoot, QObject *parent)
    : QObject(parent),
      m_desktopManager(dataRoot),
      m_serviceController(ServiceController::instance()),
      m_serviceMonitor(NovumServiceMonitor::instance()),
      m_dataRoot(dataRoot),
      m_staging(dataRoot)
{
    AppSizeInfo::registerType();
    m_windowTimer.setSingleShot(true);
    m_windowTimer.setInterval(kWindowCheckIntervalMs);
    connect(&m_windowTimer, &QTimer::timeout, this, &FerryDaemon::checkWindow);

    connect(&m_apkManager, &ApkManager::addLauncher, &m_desktopManager, &DesktopManager::onCreateLauncher);
    connect(&m_apkManager, &ApkManager::packageRemoved, &m_desktopManager, &DesktopManager::onRemovePackage);
    connect(&m_apkManager, &ApkManager::launchersComplete, &m_desktopManager, &DesktopManager::onLaunchersComplete);
    connect(m_serviceMonitor, &NovumServiceMonitor::connectionChanged, this, &FerryDaemon::onNovumServiceAvailable);
    connect(&m_packageManager, &NovumPackageManager::connectionChanged, this,
            &FerryDaemon::onPackageManagerAvailable);
    connect(&m_activityManager, &NovumActivityManager::connectionChanged, this,
            &FerryDaemon::onActivityManagerAvailable);
    connect(&m_packageManager, &NovumPackageManager::installationResultReceived, this,
            &FerryDaemon::onNotifyInstallationResult);
    connect(&m_packageManager, &NovumPackageManager::uninstallationResultReceived, this,
            &FerryDaemon::onNotifyUninstallationResult);

    m_staging.preparePackagedDir();
    m_staging.removeStaleFiles();

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        qCCritical(lcDaemon) << "Cannot register object at " << kObjectPath;
        ::exit(1);
    }
    if (!bus.registerService(kServiceName)) {
        qCCritical(lcDaemon) << "Cannot register D-Bus service at" << kServiceName;
        ::exit(1);
    }
    // The generated adaptor switches on relaying of this object's signals.
    new FerryDaemonAdaptor(this);
}

FerryDaemon::~FerryDaemon()
{
    // The components report their disconnection while they are destroyed,
    // after this object's own part is gone.
    m_packageManager.disconnect(this);
    m_activityManager.disconnect(this);
    m_serviceMonitor->disconnect(this);
}

QString FerryDaemon::partnerSpaceDir()
{
    const QByteArray env = qgetenv("FERRYD_PARTNERSPACE_DIR");
    return env.isEmpty() ? QStringLiteral("/usr/share/ferryd/partnerspace/") : QString::fromLocal8Bit(env);
}

// ---- callers and policy ----

bool FerryDaemon::identifyCaller(CallerIdentity *identity)
{
    const QDBusConnectionInterface *bus = connection().interface();
    if (!bus)
        return false;
    const QString sender = message().service();
    const QDBusReply<uint> pid = bus->servicePid(sender);
    const QDBusReply<uint> uid = bus->serviceUid(sender);
    if (!pid.isValid() || !uid.isValid() || pid.value() == 0)
        return false;
    if (!callerIdentityForPid(pid_t(pid.value()), identity))
        return false;
    // The bus records the pid when the caller connects; if that process is
    // gone and its pid now belongs to someone else, the ids differ.
    if (identity->uid != uid.value()) {
        qCWarning(lcDaemon) << "Caller" << sender << "is not the process" << pid.value() << "any more";
        return false;
    }
    return true;
}

bool FerryDaemon::isPrivilegedCaller()
{
    if (!calledFromDBus())
        return true;
    CallerIdentity identity;
    return identifyCaller(&identity) && isPrivilegedIdentity(identity);
}

bool FerryDaemon::installAllowed()
{
    if (isPrivilegedCaller())
        return true;
    return Halcyon::PolicyValue(Halcyon::PolicyValue::ApplicationInstallationEnabled).value().toBool();
}

bool FerryDaemon::callerIdentity(CallerIdentity *identity, bool *internal)
{
    *internal = !calledFromDBus();
    if (*internal)
        return true;
    if (!identifyCaller(identity)) {
        qCCritical(lcDaemon) << "Cannot identify caller" << message().service();
        return false;
    }
    return true;
}

void FerryDaemon::ensureRuntimeStarted()
{
    const QString state = m_serviceController->serviceState();
    // A runtime that crashed ("failed") must be started again too, or the
    // request would wait in the queue for ever.
    if (state == QLatin1String("inactive") || state == QLatin1String("deactivating") ||
        state == QLatin1String("failed"))
        m_serviceController->controlService(true);
}

// ---- install ----

bool FerryDaemon::installFile(const QString &filename, PackageSource source)
{
    qCDebug(lcDaemon) << "installFile:" << filename;
    if (!installAllowed()) {
        qCCritical(lcDaemon) << "APK installation prohibited";
        publishNotification(qtTrId("ferryd-app_installation_disallowed"), true);
        return false;
    }
    if (!filename.startsWith(QLatin1Char('/'))) {
        qCCritical(lcDaemon) << "Absolute path required:" << filename;
        return false;
    }
    if (!isInstallableFileName(filename)) {
        qCCritical(lcDaemon) << "Not a file name:" << filename;
        return false;
    }

    // Open the file with the caller's rights now and copy from exactly this
    // descriptor later: no window in which the path can be swapped.
    CallerIdentity identity;
    bool internal = false;
    if (!callerIdentity(&identity, &internal))
        return false;
    int fd = -1;
    QString error;
    const OpenResult opened = openFileAs(filename, internal ? nullptr : &identity, &fd, &error);
    FdGuard source_fd(fd);
    if (opened == OpenResult::NotFound) {
        qCCritical(lcDaemon) << "File does not exist:" << filename;
        return false;
    }
    if (opened != OpenResult::Opened) {
        qCCritical(lcDaemon) << "Refusing to install" << filename << ":" << error;
        return false;
    }

    ensureRuntimeStarted();
    const QString name = fileNameOf(filename);
    QString target;
    if (!m_staging.stage(source_fd.get(), filename, name, &target))
        return false;

    if (source == PartnerSpace) {
        QFile marker(partnerSpaceDir() + name);
        if (marker.open(QIODevice::WriteOnly))
            marker.close();
        else
            qCWarning(lcDaemon) << "Cannot create partner space marker" << marker.fileName();
    }

    const QString root = dataPath(m_dataRoot, DataRoot);
    QString runtimePath = target;
    if (!root.isEmpty() && runtimePath.startsWith(root))
        runtimePath = runtimePath.mid(root.size());

    const QString packaged = dataPath(m_dataRoot, PackagedDir) + name;
    qCDebug(lcDaemon) << "Installing" << filename << "packaged path would be" << packaged;

    PackageMod mod;
    mod.filename = runtimePath;
    mod.install = true;
    mod.quiet = source != Ordinary || filename == packaged;
    if (bothConnectionsUp()) {
        triggerPackageMod(mod);
    } else {
        qCDebug(lcDaemon) << "Rididirevov not running. Saving " << mod << " for later";
        m_pendingPackageMods << mod;
    }
    return true;
}

bool FerryDaemon::installFile(const QString &filename)
{
    return installFile(filename, Ordinary);
}

bool FerryDaemon::installPreloadFile(const QString &filename)
{
    return installFile(filename, Preload);
}

bool FerryDaemon::installPartnerSpaceFile(const QString &filename)
{
    return installFile(filename, PartnerSpace);
}

// ---- removal ----

bool FerryDaemon::removeFile(const QString &filename)
{
    qCDebug(lcDaemon) << "removeFile:" << filename;
    if (!installAllowed()) {
        qCCritical(lcDaemon) << "APK uninstallation prohibited";
        publishNotification(qtTrId("ferryd-app_uninstallation_disallowed"), true);
        return false;
    }
    const QString resolved = m_desktopManager.packageForDesktopEntry(filename);
    if (resolved != filename)
        qCDebug(lcDaemon) << "Resolved:" << filename << "-> " << resolved;
    const QString package = rpmNameForApk(resolved);
    if (package.isEmpty() || !isInstallableFileName(resolved)) {
        qCCritical(lcDaemon) << "No package name in" << filename;
        return false;
    }
    ensureRuntimeStarted();

    PackageMod mod;
    mod.filename = package;
    mod.install = false;
    mod.quiet = true;
    if (bothConnectionsUp()) {
        triggerPackageMod(mod);
    } else {
        qCDebug(lcDaemon) << "Rididirevov not running. Will remove " << mod << " later";
        m_pendingPackageMods << mod;
    }

    QString marker = fileNameOf(resolved);
    marker.replace(QRegularExpression(QStringLiteral("-\\d+\\.apk")), QStringLiteral(".apk"));
    QFile::remove(partnerSpaceDir() + marker);

    removeRpm(resolved);
    return true;
}

void FerryDaemon::removeRpm(const QString &filename)
{
    requestRpmRemoval(filename, dataPath(m_dataRoot, PackagedDir));
}

// ---- performing queued work ----

void FerryDaemon::triggerPackageMod(const PackageMod &mod)
{
    if (mod.install) {
        qCDebug(lcDaemon) << "Installing" << mod.filename;
        if (!m_packageManager.installApk(mod.filename, mod.quiet)) {
            // No observer will ever report on it: tell the user now.
            qCCritical(lcDaemon) << "Could not hand the install of" << mod.filename << "to the runtime";
            if (!mod.quiet)
                onNotifyInstallationResult(false, rpmNameForApk(mod.filename), qtTrId("ferryd-install-fail-other"));
        }
    } else {
        qCDebug(lcDaemon) << "Uninstalling" << mod.filename;
        m_packageManager.deletePackage(mod.filename, mod.quiet);
    }
}

bool FerryDaemon::bothConnectionsUp() const
{
    return m_packageManager.isConnected() && m_serviceMonitor->isConnected();
}

void FerryDaemon::drainPendingQueue()
{
    drainPackageQueue(m_pendingPackageMods, [this](const PackageMod &mod) { triggerPackageMod(mod); });
}

void FerryDaemon::workOffLaunchQueue()
{
    while (!m_launchQueue.isEmpty()) {
        const QString package = m_launchQueue.takeFirst();
        qCDebug(lcDaemon) << "Launching " << package << " (" << m_launchQueue.size() << " more in queue)";
        m_serviceMonitor->launchPackage(package);
    }
}

void FerryDaemon::onPackageManagerAvailable(bool connected)
{
    if (connected && m_serviceMonitor->isConnected())
        drainPendingQueue();
}

void FerryDaemon::onNovumServiceAvailable(bool connected)
{
    if (!connected)
        return;
    // Launches need only the runtime's service. Waiting for the package
    // manager as well would strand them when it connects second.
    workOffLaunchQueue();
    if (m_packageManager.isConnected())
        drainPendingQueue();
}

void FerryDaemon::onActivityManagerAvailable(bool connected)
{
    if (connected && !m_intentQueue.isEmpty())
        workOffIntentQueue();
}

// ---- notifications ----

void FerryDaemon::publishNotification(const QString &text, bool isWarning)
{
    Notification notification;
    notification.setIcon(isWarning ? QStringLiteral("icon-lock-warning") : QStringLiteral("icon-s-android"));
    notification.setIsTransient(true);
    if (isWarning)
        notification.setUrgency(Notification::Critical);
    notification.setBody(text);
    notification.publish();
}

void FerryDaemon::onNotifyInstallationResult(bool success, const QString &packageName, const QString &msg)
{
    QString summary = qtTrId(success ? "ferryd-install-success" : "ferryd-install-failed");
    if (!packageName.isEmpty())
        summary += QStringLiteral(": ") + m_desktopManager.appDisplayName(packageName);
    Notification notification;
    notification.setAppName(qtTrId("ferryd-ap-name"));
    notification.setIcon(QStringLiteral("icon-s-android"));
    notification.setAppIcon(QStringLiteral("icon-s-android"));
    notification.setIsTransient(true);
    notification.setSummary(summary);
    if (!msg.isEmpty())
        notification.setBody(msg);
    notification.publish();
}

void FerryDaemon::onNotifyUninstallationResult(bool success, const QString &packageName)
{
    Notification notification;
    notification.setAppName(qtTrId("ferryd-ap-name"));
    notification.setIcon(QStringLiteral("icon-s-android"));
    notification.setAppIcon(QStringLiteral("icon-s-android"));
    notification.setSummary(qtTrId(success ? "ferryd-uninstall-success" : "ferryd-uninstall-failed") +
                            QStringLiteral(": ") + packageName);
    notification.publish();
}

// ---- runtime control and information ----

void FerryDaemon::controlService(bool start)
{
    m_serviceController->controlService(start);
}

void FerryDaemon::controlServiceAutostart(bool enable)
{
    m_serviceController->controlServiceAutostart(enable);
}

bool FerryDaemon::isRunning()
{
    return m_serviceController->serviceState() == QLatin1String("active");
}

QVariantList FerryDaemon::getAndroidVersionData()
{
    return QVariantList{sdkVersion(), androidRelease(), securityPatch()};
}

// ---- app control ----

void FerryDaemon::launchApp(const QString &packageName)
{
    ensureRuntimeStarted();
    if (m_serviceMonitor->isConnected()) {
        qCDebug(lcDaemon) << "Launching" << packageName;
        m_serviceMonitor->launchPackage(packageName);
        return;
    }
    qCDebug(lcDaemon) << "Starting Novum to launch" << packageName;
    publishNotification(qtTrId("ferryd-launch_novum_to_start_android_app")
                            .arg(m_desktopManager.appDisplayName(packageName)),
                        false);
    m_launchQueue << packageName;
}

bool FerryDaemon::allowedToControlApps(const char *method, const QString &packageName)
{
    // Any local user can reach these methods; they act on other users' apps.
    if (isPrivilegedCaller())
        return true;
    qCWarning(lcDaemon) << "Refusing" << method << "for" << packageName << "from"
                        << message().service() << ": caller is not privileged";
    return false;
}

void FerryDaemon::deleteAppCacheFiles(const QString &packageName)
{
    if (allowedToControlApps("deleteAppCacheFiles", packageName))
        m_packageManager.deleteCacheFiles(packageName);
}

void FerryDaemon::clearAppUserData(const QString &packageName)
{
    if (allowedToControlApps("clearAppUserData", packageName))
        m_packageManager.clearUserData(packageName);
}

void FerryDaemon::forceStopApp(const QString &packageName)
{
    if (allowedToControlApps("forceStopApp", packageName))
        m_activityManager.forceStopPackage(packageName);
}

bool FerryDaemon::getAppStartOnBootup(const QString &packageName)
{
    return m_deviceIdle.isPowerSaveWhitelisted(packageName);
}

void FerryDaemon::setAppStartOnBootup(const QString &packageName, bool autoStartAllowed)
{
    if (!allowedToControlApps("setAppStartOnBootup", packageName))
        return;
    const bool before = m_deviceIdle.isPowerSaveWhitelisted(packageName);
    m_deviceIdle.setPowerSaveWhitelisted(packageName, autoStartAllowed);
    const bool after = m_deviceIdle.isPowerSaveWhitelisted(packageName);
    if (before != after)
        emit appStartOnBootupChanged(packageName, after);
}

AppSizeInfo FerryDaemon::getAppSize(const QString &packageName)
{
    const AppSizeInfo info = appSizeOf(m_storageStatsManager.queryPackageStats(packageName));
    qCDebug(lcDaemon) << "App size query for" << packageName << info.codeBytes << info.dataBytes << info.cacheBytes;
    return info;
}

QString FerryDaemon::duProgram()
{
    const QByteArray env = qgetenv("FERRYD_DU");
    return env.isEmpty() ? QStringLiteral("/usr/bin/du") : QString::fromLocal8Bit(env);
}

qulonglong FerryDaemon::getAndroidAppDataUsage()
{
    // du over a large data tree takes long: it runs beside the event loop
    // and the D-Bus reply follows when it is done.
    auto *du = new QProcess(this);
    du->setProgram(duProgram());
    du->setArguments({QStringLiteral("-sxb"), dataPath(m_dataRoot, AppDataDir)});
    du->setProcessChannelMode(QProcess::SeparateChannels);
    du->setStandardErrorFile(QProcess::nullDevice());

    const bool fromBus = calledFromDBus();
    QDBusMessage request;
    QDBusConnection bus = fromBus ? connection() : QDBusConnection::systemBus();
    if (fromBus) {
        setDelayedReply(true);
        request = message();
    }
    auto result = std::make_shared<qulonglong>(0);
    auto finish = [du, request, bus, fromBus, result](bool exited) mutable {
        if (du->property("done").toBool())
            return;
        du->setProperty("done", true);
        if (!exited || !parseDuOutput(du->readAllStandardOutput(), result.get())) {
            qCWarning(lcDaemon) << "Could not determine android app data usage";
            *result = 0;
        }
        if (fromBus)
            bus.send(request.createReply(QVariant::fromValue(*result)));
        du->deleteLater();
    };
    auto *timeout = new QTimer(du);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, du, [du, finish]() mutable {
        du->kill();
        finish(false);
    });
    connect(du, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), du,
            [finish](int, QProcess::ExitStatus status) mutable { finish(status == QProcess::NormalExit); });
    connect(du, &QProcess::errorOccurred, du, [du, finish](QProcess::ProcessError error) mutable {
        if (error == QProcess::FailedToStart)
            finish(false);
    });
    timeout->start(kDuTimeoutMs);
    du->start(QIODevice::ReadOnly);
    if (!fromBus) {
        // An internal caller wants the value itself.
        du->waitForFinished(kDuTimeoutMs);
        finish(du->state() == QProcess::NotRunning && du->exitStatus() == QProcess::NormalExit &&
               du->error() != QProcess::FailedToStart);
    }
    return *result;
}

void FerryDaemon::notifyRuntimeUpgrade(bool upgrading)
{
    qCDebug(lcDaemon) << "notifyRuntimeUpgrade:" << (upgrading ? "true" : "false");
    QDBusConnection session = QDBusConnection::sessionBus();
    const QStringList entries = m_desktopManager.allDesktopEntries();
    for (const QString &path : entries) {
        const QString name = QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.nemomobile.lipstick"), QStringLiteral("/LauncherModel"),
            QStringLiteral("org.nemomobile.lipstick.LauncherModel"),
            upgrading ? QStringLiteral("updatingStarted") : QStringLiteral("updatingFinished"));
        if (upgrading)
            call.setArguments({name, QString(""), QString(""), path});
        else
            call.setArguments({name});
        // The launcher's answers carry nothing; messages of one connection
        // arrive in order, so nothing here waits for them.
        session.asyncCall(call);
    }
}

// ---- intents ----

void FerryDaemon::queueIntent(const Intent &intent)
{
    m_intentQueue << intent;
    if (!m_activityManager.isConnected()) {
        publishNotification(qtTrId("ferryd-launch_novum_to_start_android_app")
                                .arg(m_desktopManager.appDisplayName(intent.package)),
                            false);
        return;
    }
    if (!m_launching)
        workOffIntentQueue();
}

void FerryDaemon::workOffIntentQueue()
{
    if (m_launching && m_surfaceFlinger)
        return;   // a window wait is running; it goes on with the queue
    m_launching = true;
    while (!m_intentQueue.isEmpty()) {
        const Intent intent = m_intentQueue.takeFirst();
        qCDebug(lcDaemon) << "Launching " << intent.action << intent.package;
        m_activityManager.startActivity(intent);
        if (!intent.package.isEmpty()) {
            m_windowPackage = intent.package;
            m_windowChecks = 0;
            m_surfaceFlinger = new NovumSurfaceFlinger(this);
            checkWindow();
            return;
        }
    }
    m_launching = false;
}

void FerryDaemon::checkWindow()
{
    if (!m_surfaceFlinger)
        return;
    if (m_windowChecks >= kWindowChecks) {
        finishWindowWait();
        return;
    }
    ++m_windowChecks;
    if (m_surfaceFlinger->hasWindow(m_windowPackage)) {
        finishWindowWait();
        return;
    }
    qCDebug(lcDaemon) << "Window for" << m_windowPackage << "not yet found. Sleeping 500ms";
    m_windowTimer.start();
}

void FerryDaemon::finishWindowWait()
{
    m_windowTimer.stop();
    delete m_surfaceFlinger;
    m_surfaceFlinger = nullptr;
    m_windowPackage.clear();
    workOffIntentQueue();
}

void FerryDaemon::openAppSettings(const QString &packageName)
{
    qCDebug(lcDaemon) << "Opening app settings for" << packageName;
    ensureRuntimeStarted();
    queueIntent(IntentBuilder::appSettingsIntent(packageName));
}

void FerryDaemon::viewLicenses()
{
    qCDebug(lcDaemon) << "Opening legal information settings page";
    ensureRuntimeStarted();
    queueIntent(IntentBuilder::licensesIntent());
}

void FerryDaemon::launchIntent(const QString &action, const QString &data, const QString &type,
                               const QString &packageName, const QString &className, const QString &category,
                               const QVariantMap &extras)
{
    qCDebug(lcDaemon) << "Launching intent" << action << data << type << packageName << className << category
                      << extras;
    ensureRuntimeStarted();
    queueIntent(IntentBuilder::launchIntent(action, data, type, packageName, className, category, extras));
}

void FerryDaemon::launchIntent(const QString &action, const QString &data, const QString &type,
                               const QString &packageName, const QString &className, const QString &category)
{
    launchIntent(action, data, type, packageName, className, category, QVariantMap());
}

void FerryDaemon::share(const QVariantMap &shareActionConfiguration)
{
    ensureRuntimeStarted();
    Intent intent;
    if (IntentBuilder::shareIntent(shareActionConfiguration, &intent))
        queueIntent(intent);
}
