#pragma once

#include "apkmanager.h"
#include "appsizeinfo.h"
#include "desktopmanager.h"
#include "intent.h"
#include "novumactivitymanager.h"
#include "novumdeviceidle.h"
#include "novumpackagemanager.h"
#include "novumstoragestatsmanager.h"
#include "novumsurfaceflinger.h"
#include "novumtimezonemonitor.h"
#include "packagemod.h"
#include "stagingarea.h"

#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

struct CallerIdentity;
class NovumServiceMonitor;
class ServiceController;

// The daemon object: owns every component of ferryd and serves the D-Bus
// interface "com.kestrel.ferryd" at "/com/kestrel/ferryd" through its
// adaptor (only the adaptor is exported).
class FerryDaemon : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    // Registers on the system bus; exits the process with status 1 when the
    // object or the name cannot be registered.
    explicit FerryDaemon(const QString &dataRoot, QObject *parent = nullptr);
    ~FerryDaemon() override;

    // Where partner-space markers live; FERRYD_PARTNERSPACE_DIR overrides
    // "/usr/share/ferryd/partnerspace/" for tests.
    static QString partnerSpaceDir();

public slots:
    // APK install and removal
    bool installFile(const QString &filename, PackageSource source);
    bool installFile(const QString &filename);
    bool installPreloadFile(const QString &filename);
    bool installPartnerSpaceFile(const QString &filename);
    bool removeFile(const QString &filename);
    void triggerPackageMod(const PackageMod &mod);
    void publishNotification(const QString &text, bool isWarning);

    // Runtime control and information
    void controlService(bool start);
    void controlServiceAutostart(bool enable);
    bool isRunning();
    QVariantList getAndroidVersionData();

    // App control
    qulonglong getAndroidAppDataUsage();
    void notifyRuntimeUpgrade(bool upgrading);
    bool getAppStartOnBootup(const QString &packageName);
    void setAppStartOnBootup(const QString &packageName, bool autoStartAllowed);
    void deleteAppCacheFiles(const QString &packageName);
    void clearAppUserData(const QString &packageName);
    void forceStopApp(const QString &packageName);
    AppSizeInfo getAppSize(const QString &packageName);
    void openAppSettings(const QString &packageName);
    void viewLicenses();
    void launchApp(const QString &packageName);
    void launchIntent(const QString &action, const QString &data, const QString &type,
                      const QString &packageName, const QString &className, const QString &category,
                      const QVariantMap &extras);
    void launchIntent(const QString &action, const QString &data, const QString &type,
                      const QString &packageName, const QString &className, const QString &category);
    void share(const QVariantMap &shareActionConfiguration);

signals:
    // Declared for the interface; nothing emits them.
    void installPackage(const QString &filename);
    void uninstallPackage(const QString &filename);
    void installPackageFromRPM(const QString &filename);
    void uninstallPackageFromRPM(const QString &filename);
    void appStartOnBootupChanged(const QString &packageName, bool autoStartAllowed);

private slots:
    void onNotifyInstallationResult(bool success, const QString &packageName, const QString &msg);
    void onNotifyUninstallationResult(bool success, const QString &packageName);
    void onNovumServiceAvailable(bool connected);
    void onPackageManagerAvailable(bool connected);
    void onActivityManagerAvailable(bool connected);
    void checkWindow();

private:
    // The D-Bus caller's ids from /proc, checked against the bus's own
    // record of the connection's user.
    bool identifyCaller(CallerIdentity *identity);
    bool isPrivilegedCaller();
    bool installAllowed();
    // Identity whose rights open caller-named files; false (and a log line)
    // when the caller cannot be identified. *internal: no D-Bus caller.
    bool callerIdentity(CallerIdentity *identity, bool *internal);
    void ensureRuntimeStarted();
    void removeRpm(const QString &filename);
    bool bothConnectionsUp() const;
    void drainPendingQueue();
    void workOffLaunchQueue();
    // Intents: queued until the activity manager is there, then sent one by
    // one, each waiting (by timer, not blocking) for its app's window.
    void queueIntent(const Intent &intent);
    void workOffIntentQueue();
    void finishWindowWait();
    // The caller check of the four app-data methods; logs the refusal.
    bool allowedToControlApps(const char *method, const QString &packageName);
    // Paths of programs the daemon runs; overridable for tests.
    static QString duProgram();

    // Components, in construction order.
    ApkManager m_apkManager;
    NovumPackageManager m_packageManager;
    NovumActivityManager m_activityManager;
    NovumStorageStatsManager m_storageStatsManager;
    NovumTimezoneMonitor m_timezoneMonitor;
    NovumDeviceIdle m_deviceIdle;
    DesktopManager m_desktopManager;

    ServiceController *m_serviceController;
    NovumServiceMonitor *m_serviceMonitor;
    QString m_dataRoot;
    StagingArea m_staging;
    QList<PackageMod> m_pendingPackageMods;
    QStringList m_launchQueue;
    QList<Intent> m_intentQueue;   // waiting for the activity manager
    bool m_launching = false;      // while the intent queue is worked off
    NovumSurfaceFlinger *m_surfaceFlinger = nullptr;   // during one window wait
    QString m_windowPackage;
    int m_windowChecks = 0;
    QTimer m_windowTimer;
};
