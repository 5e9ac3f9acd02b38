#include "standinoptions.h"

#include <QCommandLineParser>

bool StandinOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays systemd's manager and the unit rididirevov.service on a D-Bus bus."));
    parser.addHelpOption();
    const QCommandLineOption bus(QStringLiteral("bus"),
                                 QStringLiteral("Bus address (default: DBUS_SYSTEM_BUS_ADDRESS, else the system bus)."),
                                 QStringLiteral("address"));
    const QCommandLineOption command(QStringLiteral("runtime-command"),
                                     QStringLiteral("Shell command the unit runs (default: FERRY_RUNTIME_COMMAND; none: the unit only changes state)."),
                                     QStringLiteral("command"));
    const QCommandLineOption ready(QStringLiteral("ready-file"),
                                   QStringLiteral("File whose creation by the command marks the unit active (default: FERRY_RUNTIME_READY_FILE; none: active once started)."),
                                   QStringLiteral("path"));
    const QCommandLineOption log(QStringLiteral("call-log"),
                                 QStringLiteral("Append every systemd call received as a JSON line (default: FERRY_SYSTEMD_CALL_LOG)."),
                                 QStringLiteral("path"));
    const QCommandLineOption fileState(QStringLiteral("unit-file-state"),
                                       QStringLiteral("Initial UnitFileState (default: disabled)."),
                                       QStringLiteral("state"));
    const QCommandLineOption noUnit(QStringLiteral("no-unit"),
                                    QStringLiteral("Act as if rididirevov.service did not exist."));
    const QCommandLineOption noProperties(QStringLiteral("refuse-properties"),
                                          QStringLiteral("Answer the unit's Get and GetAll with an access error (property changes are still broadcast)."));
    const QCommandLineOption stopTimeout(QStringLiteral("stop-timeout"),
                                         QStringLiteral("Milliseconds between SIGTERM and SIGKILL when stopping (default: 3000)."),
                                         QStringLiteral("ms"));
    parser.addOptions({bus, command, ready, log, fileState, noUnit, noProperties, stopTimeout});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *error = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }

    auto pick = [&parser](const QCommandLineOption &opt, const char *env) {
        return parser.isSet(opt) ? parser.value(opt) : qEnvironmentVariable(env);
    };
    busAddress = pick(bus, "DBUS_SYSTEM_BUS_ADDRESS");
    runtimeCommand = pick(command, "FERRY_RUNTIME_COMMAND");
    readyFile = pick(ready, "FERRY_RUNTIME_READY_FILE");
    callLog = pick(log, "FERRY_SYSTEMD_CALL_LOG");
    if (parser.isSet(fileState))
        unitFileState = parser.value(fileState);
    refuseUnit = parser.isSet(noUnit);
    refuseProperties = parser.isSet(noProperties);
    if (parser.isSet(stopTimeout)) {
        bool ok = false;
        stopTimeoutMs = parser.value(stopTimeout).toInt(&ok);
        if (!ok || stopTimeoutMs < 0) {
            *error = QStringLiteral("--stop-timeout needs a number of milliseconds");
            return false;
        }
    }
    return true;
}
