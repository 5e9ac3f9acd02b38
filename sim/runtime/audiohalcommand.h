#pragma once

#include <QJsonObject>
#include <QObject>

#include <functional>

// The "audio-hal" and "audio-play" commands: the simulated audio HAL runs
// in a child process (writes block as long as the host's audio service
// paces them, and the simulator keeps serving meanwhile); its answer
// becomes the command's answer.
void runAudioHalCommand(QObject *parent, const QJsonObject &command,
                        std::function<void(const QJsonObject &)> answer);
