#include "intentbuilder.h"

#include "datapath.h"
#include "logging.h"
#include "plaindbusvalue.h"

#include <QUrl>

namespace IntentBuilder {

namespace {
const char kMain[] = "android.intent.action.MAIN";
const char kSend[] = "android.intent.action.SEND";
const char kSendMultiple[] = "android.intent.action.SEND_MULTIPLE";
const char kExtraStream[] = "android.intent.extra.STREAM";
const char kExtraSubject[] = "android.intent.extra.SUBJECT";
const char kExtraText[] = "android.intent.extra.TEXT";
const char kSettingsPackage[] = "com.android.settings";
} // namespace

QVariant bundleValue(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toInt();
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        QStringList strings;
        for (const QVariant &element : list) {
            if (element.userType() != QMetaType::QString)
                return value;
            strings << element.toString();
        }
        return strings;
    }
    default:
        return value;
    }
}

Intent launchIntent(const QString &action, const QString &data, const QString &type,
                    const QString &packageName, const QString &className, const QString &category,
                    const QVariantMap &extras)
{
    Intent intent(action.isEmpty() ? QString::fromLatin1(kMain) : action);
    if (intent.action == QLatin1String(kMain))
        intent.flags = kNewTaskOnHome;
    if (!data.isEmpty())
        intent.data = toAndroidUrl(data);
    if (!type.isEmpty())
        intent.type = type;
    if (!packageName.isEmpty()) {
        intent.package = packageName;
        if (!className.isEmpty()) {
            intent.componentPackage = packageName;
            intent.componentClass = className;
        }
    }
    if (!category.isEmpty())
        intent.categories = QStringList{category};
    for (auto it = extras.cbegin(); it != extras.cend(); ++it)
        intent.extras.insert(it.key(), bundleValue(plainDBusValue(it.value())));
    return intent;
}

bool shareIntent(const QVariantMap &configuration, Intent *intent)
{
    QVariantList resources;
    QString mimeType;
    QString title;
    QVariantMap method;
    for (auto it = configuration.cbegin(); it != configuration.cend(); ++it) {
        const QVariant value = plainDBusValue(it.value());
        if (it.key() == QLatin1String("resources"))
            resources = value.toList();
        else if (it.key() == QLatin1String("mimeType"))
            mimeType = value.toString();
        else if (it.key() == QLatin1String("title"))
            title = value.toString();
        else if (it.key() == QLatin1String("selectedTransferMethodInfo"))
            method = value.toMap();
        else
            qCWarning(lcDaemon) << "Unrecognized key '" << it.key() << "' with value:" << value;
    }
    qCDebug(lcDaemon) << "Resources:" << resources;
    qCDebug(lcDaemon) << "MimeType:" << mimeType;
    qCDebug(lcDaemon) << "Title:" << title;
    qCDebug(lcDaemon) << "SelectedTransferMethodInfo:" << method;
    if (resources.isEmpty())
        return false;

    // The share plugin names the target as "package/class"; anything else
    // does not say where the share should go.
    const QStringList target = method.value(QStringLiteral("methodId")).toString().split(QLatin1Char('/'));
    if (target.size() != 2 || target.at(0).isEmpty() || target.at(1).isEmpty()) {
        qCWarning(lcDaemon) << "Refusing share: methodId" << method.value(QStringLiteral("methodId"))
                            << "does not name a package and a class";
        return false;
    }

    *intent = Intent(QString::fromLatin1(kSend));
    const QVariant first = resources.first();
    if (mimeType.startsWith(QLatin1String("text/")) && first.userType() == QMetaType::QVariantMap) {
        if (mimeType == QLatin1String("text/x-url"))
            mimeType = QStringLiteral("text/plain");
        const QVariantMap link = first.toMap();
        QString subject = link.value(QStringLiteral("name")).toString();
        if (subject.isEmpty())
            subject = link.value(QStringLiteral("linkTitle")).toString();
        if (!subject.isEmpty())
            intent->extras.insert(QString::fromLatin1(kExtraSubject), subject);
        QString text = link.value(QStringLiteral("data")).toString();
        if (text.isEmpty())
            text = link.value(QStringLiteral("status")).toString();
        if (!text.isEmpty())
            intent->extras.insert(QString::fromLatin1(kExtraText), text);
        qCDebug(lcDaemon) << "Share Text:" << intent->extras;
    } else if (resources.size() == 1) {
        intent->extras.insert(QString::fromLatin1(kExtraStream), toAndroidUrl(first.toString()));
    } else {
        intent->action = QString::fromLatin1(kSendMultiple);
        QVariantList uris;
        for (const QVariant &resource : resources)
            uris << toAndroidUrl(resource.toString());
        intent->extras.insert(QString::fromLatin1(kExtraStream), uris);
    }
    intent->flags = kNewTaskClearTask;
    intent->type = mimeType;
    intent->package = target.at(0);
    intent->componentPackage = target.at(0);
    intent->componentClass = target.at(1);
    return true;
}

Intent appSettingsIntent(const QString &packageName)
{
    Intent intent(QStringLiteral("android.settings.APPLICATION_DETAILS_SETTINGS"));
    intent.package = QString::fromLatin1(kSettingsPackage);
    QUrl data;
    data.setScheme(QStringLiteral("package"));
    data.setPath(packageName);
    intent.data = data;
    intent.flags = kNewTaskClearTask;
    return intent;
}

Intent licensesIntent()
{
    Intent intent(QStringLiteral("android.settings.LEGAL_INFO"));
    intent.package = QString::fromLatin1(kSettingsPackage);
    intent.flags = kNewTaskClearTask;
    return intent;
}

} // namespace IntentBuilder
