#include "childcommand.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QProcess>

#include <unistd.h>

void runChildCommand(QObject *parent, const QString &option, const QString &what, const QJsonObject &command,
                     std::function<void(const QJsonObject &)> answer)
{
    auto *process = new QProcess(parent);
    process->setProgram(QCoreApplication::applicationFilePath());
    process->setArguments({option, QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact)),
                           QStringLiteral("--parent-pid"), QString::number(::getpid())});
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), parent,
                     [process, answer, what](int code, QProcess::ExitStatus status) {
                         const QList<QByteArray> lines = process->readAllStandardOutput().trimmed().split('\n');
                         QJsonObject reply = QJsonDocument::fromJson(lines.last()).object();
                         if (reply.isEmpty() || status != QProcess::NormalExit || code != 0)
                             reply = {{QStringLiteral("ok"), false},
                                      {QStringLiteral("error"), QStringLiteral("%1 ended with %2").arg(what).arg(code)}};
                         process->deleteLater();
                         answer(reply);
                     });
    QObject::connect(process, &QProcess::errorOccurred, parent, [process, answer, what](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        answer({{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("%1 did not start").arg(what)}});
    });
    process->start();
}
