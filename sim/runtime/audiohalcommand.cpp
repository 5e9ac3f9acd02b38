#include "audiohalcommand.h"

#include "childcommand.h"

void runAudioHalCommand(QObject *parent, const QJsonObject &command, std::function<void(const QJsonObject &)> answer)
{
    runChildCommand(parent, QStringLiteral("--audio-hal"), QStringLiteral("audio HAL"), command, std::move(answer));
}
