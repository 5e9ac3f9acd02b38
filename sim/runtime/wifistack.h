#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <memory>

namespace ferry::binder {
class LocalObject;
class RemoteObject;
}

// Android's Wi-Fi framework as a client of the host's Wi-Fi HAL,
// supplicant and wificond (see README.md, "wifi"): runs steps, each either
// a call on a named target with the reply decoded as the step says, or one
// of Android's own sequences (wifihalclient.cpp, supplicantclient.cpp,
// wificondclient.cpp). Objects the host hands out and the callbacks given
// to it are kept by this process between commands.
class WifiStack
{
public:
    static WifiStack &instance();

    QJsonObject run(const QJsonObject &command);
    QJsonObject call(const QJsonObject &step);

private:
    QJsonObject step(const QJsonObject &step);
    std::shared_ptr<ferry::binder::RemoteObject> target(const QString &name, QString *interface, QString *error);

    QMap<QString, std::shared_ptr<ferry::binder::RemoteObject>> m_objects;
    QMap<QString, std::shared_ptr<ferry::binder::LocalObject>> m_callbacks;
};

// Android's sequences, as steps for WifiStack: the op's steps, or an empty
// array when the op is not one of this interface's.
QJsonArray wifiHalSteps(const QString &op, const QJsonObject &step);
QJsonArray supplicantSteps(const QString &op, const QJsonObject &step);
QJsonArray wificondSteps(const QString &op, const QJsonObject &step);

// Entry of the child process ("child": true): the command from its
// argument, the answer printed as one JSON line; its callbacks die with it.
int runWifiProcess(const QString &commandJson);
