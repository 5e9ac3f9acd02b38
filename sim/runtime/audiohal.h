#pragma once

#include <QJsonObject>

// Android's audio HAL as the host's audio service meets it: a client of
// "NovumAudioService" on the vendor device that opens streams with a
// shared memfd buffer of the size it states, writes and reads byte counts
// through it, and puts streams to standby and closes them. Runs a script of
// steps (see README.md) in a process of its own and answers one result per
// step.
QJsonObject runAudioHalScript(const QJsonObject &command);

// The "audio-play" command as the script it stands for: version check,
// open output, writes of a tone or a PCM file, standby, close.
QJsonObject audioPlayScript(const QJsonObject &command);

// Entry of the child process: reads the command (JSON) from its argument,
// prints the answer as one JSON line.
int runAudioHalProcess(const QString &commandJson);
