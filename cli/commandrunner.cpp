#include "commandrunner.h"

#include "daemonclient.h"
#include "installedapps.h"
#include "outputformatter.h"

#include <QFileInfo>
#include <QJsonArray>

CommandRunner::CommandRunner(DaemonClient &client, QTextStream &out, QTextStream &err)
    : m_client(client)
    , m_out(out)
    , m_err(err)
{
}

const char *CommandRunner::refusedText()
{
    return "refused or failed (see the daemon's log)";
}

QString CommandRunner::checkedFile(const QString &operand, QString *error)
{
    const QFileInfo info(operand);
    if (!info.exists()) {
        *error = QStringLiteral("%1: file not found").arg(OutputFormatter::printable(operand));
        return QString();
    }
    if (!info.isFile()) {
        *error = QStringLiteral("%1: not a regular file").arg(OutputFormatter::printable(operand));
        return QString();
    }
    return info.absoluteFilePath();
}

bool CommandRunner::fail(const QString &reason)
{
    m_err << "ferry: " << reason << '\n';
    return false;
}

bool CommandRunner::requested(const QString &method, const QVariantList &args, const QString &text,
                              QJsonObject *result)
{
    QString error;
    if (!m_client.callVoid(method, args, &error))
        return fail(error);
    result->insert(QStringLiteral("requested"), text);
    return true;
}

int CommandRunner::run(const CommandLine &line)
{
    QJsonObject result;
    const bool ok = execute(line, &result);
    if (!result.isEmpty()) {
        result.insert(QStringLiteral("command"), line.command);
        result.insert(QStringLiteral("ok"), ok);
        if (line.json)
            m_out << OutputFormatter::json(result);
        else
            m_out << OutputFormatter::human(line.command, result);
    }
    m_out.flush();
    m_err.flush();
    return ok ? 0 : 1;
}

bool CommandRunner::execute(const CommandLine &line, QJsonObject *result)
{
    const QString &cmd = line.command;
    const QString first = line.operands.value(0);
    QString error;

    if (cmd == QLatin1String("status")) {
        bool running = false;
        VersionData version;
        if (!m_client.callBool(QStringLiteral("isRunning"), {}, &running, &error) ||
            !m_client.versionData(&version, &error))
            return fail(error);
        *result = QJsonObject{{"running", running},
                              {"sdk", version.sdk},
                              {"release", version.release},
                              {"securityPatch", version.securityPatch}};
        return true;
    }
    if (cmd == QLatin1String("start") || cmd == QLatin1String("stop")) {
        const bool start = cmd == QLatin1String("start");
        return requested(QStringLiteral("controlService"), {start},
                         start ? QStringLiteral("Runtime start requested") : QStringLiteral("Runtime stop requested"),
                         result);
    }
    if (cmd == QLatin1String("enable") || cmd == QLatin1String("disable")) {
        const bool enable = cmd == QLatin1String("enable");
        return requested(QStringLiteral("controlServiceAutostart"), {enable},
                         enable ? QStringLiteral("Runtime starts at boot") : QStringLiteral("Runtime does not start at boot"),
                         result);
    }
    if (cmd == QLatin1String("install")) {
        // Every file is checked before the first request goes out.
        QStringList files;
        for (const QString &operand : line.operands) {
            const QString file = checkedFile(operand, &error);
            if (file.isEmpty())
                return fail(error);
            files << file;
        }
        static const char *const methods[] = {"installFile", "installPreloadFile", "installPartnerSpaceFile"};
        const QString method = QLatin1String(methods[qBound(0, line.source, 2)]);
        QJsonArray outcomes;
        bool allRequested = true;
        for (const QString &file : files) {
            bool accepted = false;
            if (!m_client.callBool(method, {file}, &accepted, &error)) {
                // Without the daemon the remaining files fail the same way.
                *result = QJsonObject{{"files", outcomes}};
                return fail(error);
            }
            if (!accepted) {
                fail(QStringLiteral("%1: %2").arg(OutputFormatter::printable(file), QLatin1String(refusedText())));
                allRequested = false;
            }
            outcomes.append(QJsonObject{{"file", file}, {"requested", accepted}});
        }
        *result = QJsonObject{{"files", outcomes}};
        return allRequested;
    }
    if (cmd == QLatin1String("remove")) {
        QString target = first;
        // A path names a desktop entry; the daemon maps it to its package.
        if (target.contains(QLatin1Char('/')) || target.endsWith(QLatin1String(".desktop"))) {
            target = checkedFile(first, &error);
            if (target.isEmpty())
                return fail(error);
        }
        bool accepted = false;
        if (!m_client.callBool(QStringLiteral("removeFile"), {target}, &accepted, &error))
            return fail(error);
        if (!accepted)
            return fail(QLatin1String(refusedText()));
        result->insert(QStringLiteral("requested"), QStringLiteral("Removal of %1 requested").arg(target));
        return true;
    }
    if (cmd == QLatin1String("launch"))
        return requested(QStringLiteral("launchApp"), {first}, QStringLiteral("Launch of %1 requested").arg(first), result);
    if (cmd == QLatin1String("intent")) {
        QString data = line.data;
        // A relative host path is meant from here, not from the daemon's directory.
        if (!data.isEmpty() && !data.contains(QLatin1Char(':')) && !data.startsWith(QLatin1Char('/')) &&
            QFileInfo::exists(data))
            data = QFileInfo(data).absoluteFilePath();
        return requested(QStringLiteral("launchIntent"),
                         {line.action, data, line.type, line.package, line.className, line.category,
                          QVariant::fromValue(line.extras)},
                         QStringLiteral("Intent %1 sent")
                             .arg(line.action.isEmpty() ? QStringLiteral("android.intent.action.MAIN") : line.action),
                         result);
    }
    if (cmd == QLatin1String("size")) {
        AppSizes sizes;
        if (!m_client.appSize(first, &sizes, &error))
            return fail(error);
        *result = QJsonObject{{"package", first},
                              {"codeBytes", double(sizes.codeBytes)},
                              {"dataBytes", double(sizes.dataBytes)},
                              {"cacheBytes", double(sizes.cacheBytes)}};
        return true;
    }
    if (cmd == QLatin1String("data-usage")) {
        quint64 bytes = 0;
        if (!m_client.callUInt64(QStringLiteral("getAndroidAppDataUsage"), &bytes, &error))
            return fail(error);
        *result = QJsonObject{{"bytes", double(bytes)}};
        return true;
    }
    if (cmd == QLatin1String("clear-cache"))
        return requested(QStringLiteral("deleteAppCacheFiles"), {first},
                         QStringLiteral("Cache of %1 cleared").arg(first), result);
    if (cmd == QLatin1String("clear-data"))
        return requested(QStringLiteral("clearAppUserData"), {first},
                         QStringLiteral("Data of %1 cleared").arg(first), result);
    if (cmd == QLatin1String("force-stop"))
        return requested(QStringLiteral("forceStopApp"), {first}, QStringLiteral("%1 stopped").arg(first), result);
    if (cmd == QLatin1String("autostart")) {
        if (line.operands.size() == 2) {
            const bool on = line.operands.at(1) == QLatin1String("on");
            if (!m_client.callVoid(QStringLiteral("setAppStartOnBootup"), {first, on}, &error))
                return fail(error);
        }
        bool allowed = false;
        if (!m_client.callBool(QStringLiteral("getAppStartOnBootup"), {first}, &allowed, &error))
            return fail(error);
        *result = QJsonObject{{"package", first}, {"autostart", allowed}};
        if (line.operands.size() == 2 && allowed != (line.operands.at(1) == QLatin1String("on")))
            return fail(QLatin1String(refusedText()));
        return true;
    }
    if (cmd == QLatin1String("apps")) {
        QJsonArray apps;
        for (const InstalledApp &app : InstalledApps::list(InstalledApps::applicationsDir()))
            apps.append(QJsonObject{{"package", app.package}, {"label", app.label}, {"desktopFile", app.desktopFile}});
        *result = QJsonObject{{"apps", apps}};
        return true;
    }
    return fail(QStringLiteral("unknown command \"%1\"").arg(cmd));
}
