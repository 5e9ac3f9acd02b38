#pragma once

#include <QDBusMessage>
#include <QFile>
#include <QJsonObject>
#include <QList>

// Every systemd call the stand-in received, in order, so that tests can
// tell what a client sent. Kept in memory and, if a path is given, appended
// to that file as one JSON object per line:
//   {"seq":1,"sender":":1.4","path":"/org/freedesktop/systemd1",
//    "interface":"org.freedesktop.systemd1.Manager","member":"StartUnit",
//    "args":["rididirevov.service","replace"]}
class CallLog
{
public:
    explicit CallLog(const QString &path);

    void record(const QDBusMessage &call);
    void clear();
    // All entries as JSON lines.
    QString text() const;

    static QJsonValue toJson(const QVariant &value);

private:
    QFile m_file;
    QList<QJsonObject> m_entries;
    qint64 m_seq = 0;
};
