#include "ferrydworld.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

FerrydWorld::FerrydWorld() = default;

FerrydWorld::~FerrydWorld()
{
    stopDaemon();
    if (m_notifications) {
        FakeNotificationServer *server = m_notifications.release();
        QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    }
    m_notificationThread.quit();
    m_notificationThread.wait();
    if (m_sessionConnection)
        QDBusConnection::disconnectFromBus(m_sessionConnection->name());
    m_sessionBus.reset();
    m_world.stop();
}

bool FerrydWorld::start(QString *error, const QString &runtimeCommand, int sdk)
{
    if (qgetenv("FERRY_IN_VM") != "1") {
        *error = "needs the test guest: it writes logind's seat file and /run/user";
        return false;
    }
    if (!m_dir.isValid()) {
        *error = "no temporary directory";
        return false;
    }
    chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    // The guest's /run is a tmpfs of its own: an active user on seat0.
    QDir().mkpath("/run/systemd/seats");
    QFile seat("/run/systemd/seats/seat0");
    if (!seat.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = "cannot write the seat file";
        return false;
    }
    seat.write(QString("ACTIVE=c1\nACTIVE_UID=%1\n").arg(kUserUid).toUtf8());
    seat.close();
    const QString busDir = QString("/run/user/%1/dbus").arg(kUserUid);
    QDir().mkpath(busDir);
    QFile::remove(busDir + "/user_bus_socket");
    m_sessionBus = std::make_unique<PrivateBus>(busDir + "/user_bus_socket");
    if (!m_sessionBus->isRunning()) {
        *error = "session bus did not start";
        return false;
    }
    m_sessionConnection = std::make_unique<QDBusConnection>(m_sessionBus->connect("ferrydworld-session"));
    m_notificationThread.start();
    m_notifications = std::make_unique<FakeNotificationServer>(*m_sessionConnection);
    m_notifications->moveToThread(&m_notificationThread);
    if (!m_notifications->isRegistered()) {
        *error = "notification server did not register";
        return false;
    }
    QFile prop(buildPropFile());
    prop.open(QIODevice::WriteOnly);
    prop.write(QString("ro.build.version.sdk=%1\nro.build.version.release=10\n"
                       "ro.build.version.security_patch=2020-06-05\n").arg(sdk).toUtf8());
    prop.close();
    qputenv("ANDROID_DATA_ROOT", dataRoot().toLocal8Bit());
    TestWorld::Options options;
    options.runtimeCommand = runtimeCommand;
    if (!m_world.start(options)) {
        *error = m_world.errorString();
        return false;
    }
    // The daemon loads its catalogue from the system's translations directory.
    QDir().mkpath("/usr/share/translations");
    QFile::remove("/usr/share/translations/ferryd_eng_en.qm");
    if (!QFile::copy(FERRYD_QM_PATH, "/usr/share/translations/ferryd_eng_en.qm")) {
        *error = "cannot install the catalogue";
        return false;
    }
    QDir().mkpath(partnerDir());
    QDir().mkpath(applicationsDir());
    return true;
}

QStringList FerrydWorld::daemonEnvironment() const
{
    return {"ANDROID_DATA_ROOT=" + dataRoot(),
            "FERRY_BUILD_PROP=" + buildPropFile(),
            "FERRY_POLICY_FILE=" + policyFile(),
            "FERRYD_PARTNERSPACE_DIR=" + partnerDir(),
            "FERRYD_APPLICATIONS_DIR=" + applicationsDir(),
            "FERRYD_ICON_DIR=" + iconDir(),
            "FERRYD_SETTINGS_ENTRIES_DIR=" + settingsEntriesDir(),
            "FERRYD_SHARING_REGISTRY=" + sharingRegistry()};
}

qint64 FerrydWorld::startDaemon(const QStringList &extraEnvironment)
{
    m_daemonPid = m_world.startProcess(FERRYD_BIN, {}, daemonEnvironment() + extraEnvironment);
    if (!m_daemonPid)
        return 0;
    const bool up = TestWorld::waitFor([] {
        return QDBusConnection::systemBus().interface()->isServiceRegistered("com.kestrel.ferryd").value();
    });
    return up ? m_daemonPid : 0;
}

bool FerrydWorld::stopDaemon()
{
    if (!m_daemonPid)
        return true;
    const bool stopped = m_world.stopProcess(m_daemonPid);
    m_daemonPid = 0;
    TestWorld::waitFor([] {
        return !QDBusConnection::systemBus().interface()->isServiceRegistered("com.kestrel.ferryd").value();
    });
    return stopped;
}

void FerrydWorld::setPolicy(const QByteArray &content)
{
    QFile f(policyFile());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
}

QString FerrydWorld::makeFile(const QString &name, const QByteArray &content, uint mode)
{
    const QString p = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
    f.close();
    chmod(QFile::encodeName(p).constData(), mode);
    return p;
}

QDBusMessage FerrydWorld::call(const QString &method, const QVariantList &args)
{
    QDBusMessage msg = QDBusMessage::createMethodCall("com.kestrel.ferryd", "/com/kestrel/ferryd",
                                                      "com.kestrel.ferryd", method);
    msg.setArguments(args);
    return QDBusConnection::systemBus().call(msg);
}

QString FerrydWorld::callAs(uint uid, uint gid, const QString &method, const QStringList &dbusSendArgs,
                            int *exitCode)
{
    QList<QByteArray> argv{"dbus-send", "--system", "--print-reply", "--dest=com.kestrel.ferryd",
                           "/com/kestrel/ferryd", ("com.kestrel.ferryd." + method).toUtf8()};
    for (const QString &a : dbusSendArgs)
        argv << a.toUtf8();
    std::vector<char *> raw;
    for (QByteArray &a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0)
        return QString();
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0)
            _exit(126);
        execvp("dbus-send", raw.data());
        _exit(127);
    }
    close(out[1]);
    QByteArray output;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, int(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (exitCode)
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return QString::fromUtf8(output);
}

QList<FakeNotificationServer::Entry> FerrydWorld::notificationsPublished()
{
    QList<FakeNotificationServer::Entry> result;
    FakeNotificationServer *server = m_notifications.get();
    if (server)
        QMetaObject::invokeMethod(server, [&result, server] { result = server->published; },
                                  Qt::BlockingQueuedConnection);
    return result;
}

bool FerrydWorld::waitForNotifications(int count, int timeoutMs)
{
    return TestWorld::waitFor([this, count] { return notificationsPublished().size() >= count; }, timeoutMs);
}
