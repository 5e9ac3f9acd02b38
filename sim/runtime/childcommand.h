#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>

// Runs a command in a child process of the simulator (started with
// `option` and the command as JSON), so that the simulator keeps serving
// while the child's binder calls block; the child's last output line
// (JSON) becomes the command's answer.
void runChildCommand(QObject *parent, const QString &option, const QString &what, const QJsonObject &command,
                     std::function<void(const QJsonObject &)> answer);
