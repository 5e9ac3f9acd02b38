#include "testpositioncontrol.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QList<QGeoSatelliteInfo> satellites(const QJsonArray &array)
{
    QList<QGeoSatelliteInfo> list;
    for (const QJsonValue &value : array) {
        const QJsonObject o = value.toObject();
        QGeoSatelliteInfo info;
        info.setSatelliteIdentifier(o.value(QStringLiteral("id")).toInt());
        info.setSignalStrength(o.value(QStringLiteral("strength")).toInt());
        if (o.contains(QStringLiteral("elevation")))
            info.setAttribute(QGeoSatelliteInfo::Elevation, o.value(QStringLiteral("elevation")).toDouble());
        if (o.contains(QStringLiteral("azimuth")))
            info.setAttribute(QGeoSatelliteInfo::Azimuth, o.value(QStringLiteral("azimuth")).toDouble());
        list << info;
    }
    return list;
}

QGeoPositionInfo position(const QJsonObject &o)
{
    QGeoCoordinate coordinate(o.value(QStringLiteral("lat")).toDouble(), o.value(QStringLiteral("lon")).toDouble());
    if (o.contains(QStringLiteral("alt")))
        coordinate.setAltitude(o.value(QStringLiteral("alt")).toDouble());
    QGeoPositionInfo info(coordinate, QDateTime::fromMSecsSinceEpoch(qint64(o.value(QStringLiteral("time")).toDouble()), Qt::UTC));
    const struct {
        const char *key;
        QGeoPositionInfo::Attribute attribute;
    } attributes[] = {
        {"speed", QGeoPositionInfo::GroundSpeed},
        {"direction", QGeoPositionInfo::Direction},
        {"hacc", QGeoPositionInfo::HorizontalAccuracy},
        {"vacc", QGeoPositionInfo::VerticalAccuracy},
    };
    for (const auto &a : attributes) {
        if (o.contains(QLatin1String(a.key)))
            info.setAttribute(a.attribute, o.value(QLatin1String(a.key)).toDouble());
    }
    return info;
}

} // namespace

TestPositionControl *TestPositionControl::instance()
{
    static TestPositionControl *control = new TestPositionControl;
    return control;
}

TestPositionControl::TestPositionControl()
    : QObject(QCoreApplication::instance())
{
    const QString path = qEnvironmentVariable("FERRY_TEST_POSITION_SOCKET");
    if (path.isEmpty())
        return;
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    if (!m_server->listen(path))
        qWarning("test position plug-in: cannot listen on %s", qPrintable(path));
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine()) {
                    execute(QJsonDocument::fromJson(socket->readLine()).object());
                    socket->write("ok\n");
                }
            });
        }
    });
}

void TestPositionControl::execute(const QJsonObject &command)
{
    if (command.contains(QStringLiteral("position")))
        emit position(::position(command.value(QStringLiteral("position")).toObject()));
    if (command.contains(QStringLiteral("inView")))
        emit inView(satellites(command.value(QStringLiteral("inView")).toArray()));
    if (command.contains(QStringLiteral("inUse")))
        emit inUse(satellites(command.value(QStringLiteral("inUse")).toArray()));
}

void TestPositionControl::record(const char *source, const char *event, int value)
{
    const QString path = qEnvironmentVariable("FERRY_TEST_POSITION_LOG");
    if (path.isEmpty())
        return;
    QJsonObject line{{QStringLiteral("source"), QLatin1String(source)}, {QStringLiteral("event"), QLatin1String(event)}};
    if (value >= 0)
        line.insert(QStringLiteral("value"), value);
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}
