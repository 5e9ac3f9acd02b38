#include "notifycommand.h"

#include "callcommand.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject failure(const QString &error)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

QJsonObject arg(const char *type, const QJsonValue &value)
{
    return {{QString::fromLatin1(type), value}};
}

} // namespace

QJsonObject executeNotify(SimRuntime &runtime, const QJsonObject &command)
{
    const QString op = command.value(QStringLiteral("op")).toString();
    const QString record = QString::fromUtf8(
        QJsonDocument(command.value(QStringLiteral("record")).toObject()).toJson(QJsonDocument::Compact));
    const bool oneway = command.value(QStringLiteral("oneway")).toBool();
    int code = 0;
    QJsonArray args;
    if (op == QLatin1String("register")) {
        code = 1;
    } else if (op == QLatin1String("post")) {
        code = 2;
        args = {arg("s16", record), arg("bool", oneway)};
    } else if (op == QLatin1String("remove")) {
        code = 3;
        args = {arg("s16", command.value(QStringLiteral("key"))), arg("bool", oneway)};
    } else if (op == QLatin1String("raw")) {
        code = 4;
        args = {arg("i32", command.value(QStringLiteral("code"))), arg("bytes", command.value(QStringLiteral("hex")))};
    } else if (op == QLatin1String("post-many")) {
        code = 5;
        args = {arg("s16", record), arg("i32", command.value(QStringLiteral("count")))};
    } else {
        return failure(QStringLiteral("unknown notify op %1").arg(op));
    }
    const QJsonObject answer = executeCall(runtime, {{QStringLiteral("service"), QStringLiteral("notificationposter")},
                                                     {QStringLiteral("interface"), QStringLiteral("ferry.sim.INotificationPoster")},
                                                     {QStringLiteral("code"), code},
                                                     {QStringLiteral("args"), args}});
    const QJsonArray ints = answer.value(QStringLiteral("ints")).toArray();
    if (!answer.value(QStringLiteral("ok")).toBool() || answer.value(QStringLiteral("status")).toInt() != 0
        || ints.size() < 2)
        return failure(answer.value(QStringLiteral("error")).toString(QStringLiteral("the poster failed")));
    QJsonObject reply{{QStringLiteral("ok"), true}, {QStringLiteral("status"), ints.at(1)}};
    if (code == 5 && ints.size() >= 5) {
        reply.insert(QStringLiteral("wallUs"), ints.at(2));
        reply.insert(QStringLiteral("medianUs"), ints.at(3));
        reply.insert(QStringLiteral("p99Us"), ints.at(4));
    }
    return reply;
}
