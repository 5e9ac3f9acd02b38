#include "simoptions.h"

#include <QCommandLineParser>

bool SimOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated Android runtime: service managers on the binder devices, "
                       "Android-side services, a transaction log and a command socket."));
    parser.addHelpOption();
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append received transactions as JSON lines to <file>."),
                                 QStringLiteral("file"));
    const QCommandLineOption socket(QStringLiteral("socket"),
                                    QStringLiteral("Listen for commands on the UNIX socket <path>."),
                                    QStringLiteral("path"));
    const QCommandLineOption ready(QStringLiteral("ready-file"),
                                   QStringLiteral("Create <file> once the runtime is up."),
                                   QStringLiteral("file"));
    const QCommandLineOption services(QStringLiteral("services"),
                                      QStringLiteral("Services to publish at start: comma-separated "
                                                     "names, \"all\" (default) or \"none\"."),
                                      QStringLiteral("list"));
    parser.addOptions({log, socket, ready, services});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *error = parser.helpText();
        return false;
    }

    const auto pick = [&parser](const QCommandLineOption &option, const char *env) {
        return parser.isSet(option) ? parser.value(option) : qEnvironmentVariable(env);
    };
    logFile = pick(log, "FERRY_SIM_LOG");
    socketPath = pick(socket, "FERRY_SIM_SOCKET");
    readyFile = pick(ready, "FERRY_RUNTIME_READY_FILE");
    QString list = parser.isSet(services) ? parser.value(services)
                                          : qEnvironmentVariable("FERRY_SIM_SERVICES", QStringLiteral("all"));
    list = list.trimmed();
    allServices = list.isEmpty() || list == QLatin1String("all");
    this->services.clear();
    if (!allServices && list != QLatin1String("none")) {
        for (const QString &name : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
            this->services << name.trimmed();
    }
    return true;
}
