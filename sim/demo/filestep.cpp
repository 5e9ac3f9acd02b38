#include "filestep.h"

#include "fileindex.h"
#include "runtimesimclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

} // namespace

int startFileIndex(TestWorld &world, FileIndex &index, const QString &dir)
{
    return index.start(world, dir + QStringLiteral("/file-index")) ? 0 : 1;
}

int waitForFileIndex(FileIndex &index, const std::function<void(const QString &)> &say)
{
    QString error;
    if (!index.ready(&error))
        return fail(say, error);
    say(QStringLiteral("Tracker (tracker3 endpoint, pid %1) serves the file index as %2 on the user's session bus")
            .arg(index.pid())
            .arg(QString::fromLatin1(FileIndex::kService)));
    return 0;
}

int showFileChangeThroughBridge(FileIndex &index, const RuntimeSimClient &sim,
                                const std::function<void(const QString &)> &say)
{
    const QString service = QStringLiteral("novum.media.file_observer");
    const QString url = QStringLiteral("file:///home/demo/Music/Demo%20Song.mp3");
    QString error;
    if (!index.update(FileIndex::insertFile(url), &error))
        return fail(say, QStringLiteral("Tracker refused the update: %1").arg(error));
    say(QStringLiteral("indexed %1 in Tracker's file-system graph, as the file miner does").arg(url));
    if (!TestWorld::waitFor([&] { return !sim.transactions(service, 1).isEmpty(); }, 10000))
        return fail(say, QStringLiteral("the runtime's media scanner received no scan request"));
    const QJsonObject line = sim.transactions(service, 1).first();
    say(QStringLiteral("the runtime's media scanner (%1) logged the bridge's one-way code 1 with %2")
            .arg(service, QString::fromUtf8(QJsonDocument(line.value("args").toArray()).toJson(QJsonDocument::Compact))));
    return 0;
}
