#include "audioserviceworld.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const int kStartTimeoutMs = 20000;
// A HAL script may play for several seconds.
const int kCommandTimeoutS = 120;
}

AudioServiceWorld::AudioServiceWorld() = default;

AudioServiceWorld::~AudioServiceWorld()
{
    if (m_service && m_service->state() != QProcess::NotRunning)
        stopService();
    if (m_sim && m_sim->state() != QProcess::NotRunning) {
        m_sim->terminate();
        if (!m_sim->waitForFinished(5000)) {
            m_sim->kill();
            m_sim->waitForFinished(2000);
        }
    }
    m_pulse.stop();
}

QString AudioServiceWorld::pluginDirectory()
{
    return QStringLiteral(NAUDIO_TEST_PLUGIN_DIR);
}

bool AudioServiceWorld::start(QString *error, const QString &services)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary directory");
        return false;
    }
    if (!QFile::exists(QStringLiteral("/dev/vndvororoveredi"))) {
        *error = QStringLiteral("no /dev/vndvororoveredi (run in the test guest)");
        return false;
    }
    if (!m_pulse.start()) {
        *error = QStringLiteral("PulseAudio did not start");
        return false;
    }
    m_pulse.exportToEnvironment();
    m_sim = std::make_unique<QProcess>();
    m_sim->setProgram(QStringLiteral(FERRY_RUNTIME_SIM_BIN));
    m_sim->setArguments({QStringLiteral("--log"), path(QStringLiteral("sim.log")), QStringLiteral("--socket"),
                         path(QStringLiteral("sim.sock")), QStringLiteral("--ready-file"),
                         path(QStringLiteral("sim.ready")), QStringLiteral("--services"), services});
    m_sim->setProcessChannelMode(QProcess::ForwardedChannels);
    m_sim->start();
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path(QStringLiteral("sim.ready")))) {
        if (m_sim->state() == QProcess::NotRunning || timer.elapsed() > kStartTimeoutMs) {
            *error = QStringLiteral("the runtime simulator did not get ready");
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

qint64 AudioServiceWorld::startService(const QStringList &arguments, const QString &waitFor)
{
    m_service = std::make_unique<QProcess>();
    m_service->setProgram(QStringLiteral(NOVUMAUDIOSERVICE_BIN));
    m_service->setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOVUMAUDIOSERVICE_PLUGIN_DIR"), pluginDirectory());
    m_service->setProcessEnvironment(env);
    QFile::remove(path(QStringLiteral("service.log")));
    m_service->setStandardErrorFile(path(QStringLiteral("service.log")));
    m_service->setStandardOutputFile(path(QStringLiteral("service.out")));
    m_service->start();
    if (!m_service->waitForStarted(kStartTimeoutMs))
        return 0;
    if (!waitFor.isEmpty() && !waitForLog(waitFor, 1, kStartTimeoutMs))
        return 0;
    return m_service->processId();
}

int AudioServiceWorld::stopService()
{
    if (!m_service)
        return -1;
    if (m_service->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_service->processId()), SIGTERM);
        if (!m_service->waitForFinished(10000)) {
            m_service->kill();
            m_service->waitForFinished(2000);
            return -1;
        }
    }
    return m_service->exitStatus() == QProcess::NormalExit ? m_service->exitCode() : -1;
}

qint64 AudioServiceWorld::servicePid() const
{
    return m_service ? m_service->processId() : 0;
}

bool AudioServiceWorld::serviceRunning() const
{
    return m_service && m_service->state() == QProcess::Running;
}

QString AudioServiceWorld::serviceLog() const
{
    QFile file(path(QStringLiteral("service.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int AudioServiceWorld::logCount(const QString &needle) const
{
    return serviceLog().count(needle);
}

bool AudioServiceWorld::waitForLog(const QString &needle, int count, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    while (logCount(needle) < count) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QJsonObject AudioServiceWorld::command(const QJsonObject &command) const
{
    const QByteArray socketPath = QFile::encodeName(path(QStringLiteral("sim.sock")));
    sockaddr_un addr {};
    if (size_t(socketPath.size()) >= sizeof addr.sun_path)
        return {};
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    timeval timeout {kCommandTimeoutS, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, socketPath.constData(), size_t(socketPath.size()));
    QJsonObject answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        const QByteArray line = QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n';
        if (::write(fd, line.constData(), size_t(line.size())) == line.size()) {
            QByteArray reply;
            char c;
            while (::read(fd, &c, 1) == 1 && c != '\n')
                reply.append(c);
            answer = QJsonDocument::fromJson(reply).object();
        }
    }
    ::close(fd);
    return answer;
}

QList<QJsonObject> AudioServiceWorld::hal(const QList<QJsonObject> &steps) const
{
    QJsonArray array;
    for (const QJsonObject &step : steps)
        array.append(step);
    const QJsonObject answer = command({{"cmd", "audio-hal"}, {"steps", array}});
    QList<QJsonObject> results;
    for (const QJsonValue &v : answer.value("results").toArray())
        results.append(v.toObject());
    return results;
}

QList<QJsonObject> AudioServiceWorld::transactions(const QString &service) const
{
    QList<QJsonObject> result;
    QFile log(path(QStringLiteral("sim.log")));
    if (!log.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("service").toString() == service && o.contains("code"))
            result.append(o);
    }
    return result;
}
