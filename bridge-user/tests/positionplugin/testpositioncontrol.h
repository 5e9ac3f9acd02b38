#pragma once

#include <QGeoPositionInfo>
#include <QGeoSatelliteInfo>
#include <QJsonObject>
#include <QList>
#include <QObject>

class QLocalServer;

// The test's hand on the plug-in's sources. One JSON object per line on
// the control socket:
//   {"position":{"lat":1,"lon":2,"alt":3,"speed":4,"direction":5,
//                "hacc":6,"vacc":7,"time":1700000000000}}   (all but lat/lon optional)
//   {"inView":[{"id":70,"strength":31,"elevation":45,"azimuth":180}]}
//   {"inUse":[{"id":70,"strength":31}]}
// Each line is answered with "ok\n" once the sources emitted it (sources
// that are not started emit nothing). What the sources are asked goes to
// the log, one JSON object per line: {"source":"position","event":"start"},
// {"source":"satellite","event":"interval","value":1000}, ...
class TestPositionControl : public QObject
{
    Q_OBJECT
public:
    static TestPositionControl *instance();
    static void record(const char *source, const char *event, int value = -1);

signals:
    void position(const QGeoPositionInfo &position);
    void inView(const QList<QGeoSatelliteInfo> &satellites);
    void inUse(const QList<QGeoSatelliteInfo> &satellites);

private:
    TestPositionControl();
    void execute(const QJsonObject &command);

    QLocalServer *m_server = nullptr;
};
