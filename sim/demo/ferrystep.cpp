#include "ferrystep.h"

#include "ferrydworld.h"

#include <QProcess>

int showFerryCommands(FerrydWorld &world, const std::function<void(const QString &)> &say)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FERRYD_APPLICATIONS_DIR"), world.applicationsDir());
    for (const QStringList &args : {QStringList{QStringLiteral("status")}, QStringList{QStringLiteral("apps")}}) {
        say(QStringLiteral("$ ferry %1").arg(args.join(QLatin1Char(' '))));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(FERRY_BIN), args);
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            say(QStringLiteral("FAILED: ferry %1: %2")
                    .arg(args.join(QLatin1Char(' ')), QString::fromUtf8(p.readAllStandardError()).trimmed()));
            return 1;
        }
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                say(QStringLiteral("    ") + QString::fromUtf8(line));
        }
    }
    return 0;
}
