#include "runtimesimclient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A shell word: the unit command goes through sh -c.
QString quoted(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

} // namespace

RuntimeSimClient::RuntimeSimClient(const QString &dir)
    : m_logPath(QDir(dir).filePath(QStringLiteral("sim.log")))
    , m_socketPath(QDir(dir).filePath(QStringLiteral("sim.sock")))
{
}

RuntimeSimClient::RuntimeSimClient(const QString &socketPath, const QString &logPath)
    : m_logPath(logPath)
    , m_socketPath(socketPath)
{
}

QString RuntimeSimClient::unitCommand(const QString &program) const
{
    return QStringLiteral("exec %1 --log %2 --socket %3").arg(quoted(program), quoted(m_logPath), quoted(m_socketPath));
}

QJsonObject RuntimeSimClient::command(const QJsonObject &command) const
{
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un addr{};
    if (size_t(path.size()) >= sizeof addr.sun_path)
        return {};
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    QJsonObject answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        const QByteArray line = QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n';
        if (write(fd, line.constData(), size_t(line.size())) == line.size()) {
            QByteArray reply;
            char c;
            while (read(fd, &c, 1) == 1 && c != '\n')
                reply.append(c);
            answer = QJsonDocument::fromJson(reply).object();
        }
    }
    close(fd);
    return answer;
}

bool RuntimeSimClient::setInstallResult(int result, const QString &message) const
{
    const QJsonObject novum{{"cmd", "call"}, {"service", "novum"}, {"code", 0x5eed0001},
                            {"args", QJsonArray{QJsonObject{{"i32", result}}, QJsonObject{{"s16", message}}}}};
    const QJsonObject package{{"cmd", "call"}, {"service", "package"}, {"code", 0x5eed0001},
                              {"args", QJsonArray{QJsonObject{{"i32", result}}, QJsonObject{{"i32", 1}},
                                                  QJsonObject{{"s16", message}}}}};
    const bool novumOk = command(novum).value("ok").toBool();
    const bool packageOk = command(package).value("ok").toBool();
    return novumOk && packageOk;
}

bool RuntimeSimClient::setInstallHandOff(int mode) const
{
    bool ok = true;
    for (const char *service : {"novum", "package"}) {
        const QJsonObject set{{"cmd", "call"}, {"service", service}, {"code", 0x5eed0003},
                              {"args", QJsonArray{QJsonObject{{"i32", mode}}}}};
        ok = command(set).value("ok").toBool() && ok;
    }
    return ok;
}

QList<QJsonObject> RuntimeSimClient::transactions(const QString &service) const
{
    QList<QJsonObject> result;
    QFile log(m_logPath);
    if (!log.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("service").toString() == service && o.contains("code"))
            result << o;
    }
    return result;
}

QList<QJsonObject> RuntimeSimClient::transactions(const QString &service, int code) const
{
    QList<QJsonObject> result;
    for (const QJsonObject &o : transactions(service)) {
        if (o.value("code").toInt() == code)
            result << o;
    }
    return result;
}
