#include "notification.h"
#include "notification_p.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDataStream>
#include <QFileInfo>
#include <QPointer>
#include <QLoggingCategory>
#include <QSet>

Q_LOGGING_CATEGORY(lcNotification, "com.kestrel.ferryd.notification", QtWarningMsg)

namespace {
const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
const char kInterface[] = "org.freedesktop.Notifications";
// The server is whoever owns the name on the session bus; one that does not
// answer must not hold up the caller (a root daemon among them) for long.
const int kCallTimeoutMs = 3000;

const char kHintCategory[] = "category";
const char kHintUrgency[] = "urgency";
const char kHintTransient[] = "transient";
const char kHintImagePath[] = "image-path";
const char kHintTimestamp[] = "x-nemo-timestamp";
const char kHintPreviewSummary[] = "x-nemo-preview-summary";
const char kHintPreviewBody[] = "x-nemo-preview-body";
const char kHintItemCount[] = "x-nemo-item-count";
const char kHintSubText[] = "x-nemo-sub-text";
const char kHintRemoteActionPrefix[] = "x-nemo-remote-action-";
// The program that published a notification, whatever application name it
// shows; the listing of GetNotifications is by this owner.
const char kHintOwner[] = "x-nemo-owner";

// Objects of this process that are published right now; the fallback of
// notifications() for servers that cannot list them.
QSet<Notification *> &liveNotifications()
{
    static QSet<Notification *> set;
    return set;
}

QString defaultAppName()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty() && !QCoreApplication::arguments().isEmpty())
        name = QFileInfo(QCoreApplication::arguments().first()).fileName();
    return name;
}

QString encodeArguments(const QVariantList &arguments)
{
    QStringList parts;
    for (const QVariant &argument : arguments) {
        QByteArray buffer;
        QDataStream stream(&buffer, QIODevice::WriteOnly);
        stream << argument;
        parts << QString::fromLatin1(buffer.toBase64());
    }
    return parts.join(QLatin1Char(' '));
}
} // namespace

class NotificationPrivate
{
public:
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    int expireTimeout = -1;
    QVariantHash hints;
    QVariantList remoteActions;
};

Notification::Notification(QObject *parent)
    : QObject(parent), d(new NotificationPrivate)
{
    d->appName = defaultAppName();
}

Notification::~Notification()
{
    listen(false);
    liveNotifications().remove(this);
    delete d;
}

QString Notification::appName() const { return d->appName; }
void Notification::setAppName(const QString &appName)
{
    if (d->appName != appName) {
        d->appName = appName;
        emit appNameChanged();
    }
}

uint Notification::replacesId() const { return d->replacesId; }
void Notification::setReplacesId(uint id)
{
    if (d->replacesId != id) {
        d->replacesId = id;
        listen(id != 0);
        emit replacesIdChanged();
    }
}

QString Notification::appIcon() const { return d->appIcon; }
void Notification::setAppIcon(const QString &appIcon)
{
    if (d->appIcon != appIcon) {
        d->appIcon = appIcon;
        emit appIconChanged();
    }
}

QString Notification::summary() const { return d->summary; }
void Notification::setSummary(const QString &summary)
{
    if (d->summary != summary) {
        d->summary = summary;
        emit summaryChanged();
    }
}

QString Notification::body() const { return d->body; }
void Notification::setBody(const QString &body)
{
    if (d->body != body) {
        d->body = body;
        emit bodyChanged();
    }
}

int Notification::expireTimeout() const { return d->expireTimeout; }
void Notification::setExpireTimeout(int ms)
{
    if (d->expireTimeout != ms) {
        d->expireTimeout = ms;
        emit expireTimeoutChanged();
    }
}

QString Notification::icon() const { return d->hints.value(kHintImagePath).toString(); }
void Notification::setIcon(const QString &icon)
{
    if (this->icon() != icon) {
        setHintValue(kHintImagePath, icon);
        emit iconChanged();
    }
}

QString Notification::subText() const { return d->hints.value(kHintSubText).toString(); }
void Notification::setSubText(const QString &subText)
{
    if (this->subText() != subText) {
        setHintValue(kHintSubText, subText);
        emit subTextChanged();
    }
}

QString Notification::category() const { return d->hints.value(kHintCategory).toString(); }
void Notification::setCategory(const QString &category)
{
    if (this->category() != category) {
        setHintValue(kHintCategory, category);
        emit categoryChanged();
    }
}

Notification::Urgency Notification::urgency() const
{
    const QVariant value = d->hints.value(kHintUrgency);
    if (!value.isValid())
        return Normal;
    const int urgency = value.toInt();
    return urgency <= Low ? Low : urgency >= Critical ? Critical : Normal;
}
void Notification::setUrgency(Urgency urgency)
{
    if (this->urgency() != urgency || !d->hints.contains(kHintUrgency)) {
        // The protocol carries urgency as a byte.
        setHintValue(kHintUrgency, QVariant::fromValue<uchar>(uchar(urgency)));
        emit urgencyChanged();
    }
}

QDateTime Notification::timestamp() const
{
    return QDateTime::fromString(d->hints.value(kHintTimestamp).toString(), Qt::ISODate);
}
void Notification::setTimestamp(const QDateTime &timestamp)
{
    if (this->timestamp() != timestamp) {
        setHintValue(kHintTimestamp, timestamp.isValid() ? timestamp.toString(Qt::ISODate) : QVariant());
        emit timestampChanged();
    }
}

QString Notification::previewSummary() const { return d->hints.value(kHintPreviewSummary).toString(); }
void Notification::setPreviewSummary(const QString &previewSummary)
{
    // An empty preview is sent as well: it asks the server for no pop-up.
    if (!d->hints.contains(kHintPreviewSummary) || this->previewSummary() != previewSummary) {
        setHintValue(kHintPreviewSummary, previewSummary);
        emit previewSummaryChanged();
    }
}

QString Notification::previewBody() const { return d->hints.value(kHintPreviewBody).toString(); }
void Notification::setPreviewBody(const QString &previewBody)
{
    if (!d->hints.contains(kHintPreviewBody) || this->previewBody() != previewBody) {
        setHintValue(kHintPreviewBody, previewBody);
        emit previewBodyChanged();
    }
}

int Notification::itemCount() const { return d->hints.value(kHintItemCount, 1).toInt(); }
void Notification::setItemCount(int itemCount)
{
    if (!d->hints.contains(kHintItemCount) || this->itemCount() != itemCount) {
        setHintValue(kHintItemCount, itemCount);
        emit itemCountChanged();
    }
}

bool Notification::isTransient() const { return d->hints.value(kHintTransient).toBool(); }
void Notification::setIsTransient(bool transient)
{
    if (isTransient() != transient) {
        setHintValue(kHintTransient, transient ? QVariant(true) : QVariant());
        emit isTransientChanged();
    }
}

QVariantList Notification::remoteActions() const { return d->remoteActions; }
void Notification::setRemoteActions(const QVariantList &actions)
{
    if (d->remoteActions == actions)
        return;
    // Drop the hints of the previous actions before adding the new ones.
    for (const QVariant &action : qAsConst(d->remoteActions))
        d->hints.remove(kHintRemoteActionPrefix + action.toMap().value("name").toString());
    d->remoteActions = actions;
    for (const QVariant &action : actions) {
        const QVariantMap map = action.toMap();
        const QString name = map.value("name").toString();
        if (name.isEmpty())
            continue;
        const QString service = map.value("service").toString();
        const QString method = map.value("method").toString();
        if (service.isEmpty() || method.isEmpty())
            continue;
        QString call = QStringList{service, map.value("path").toString(), map.value("iface").toString(), method}
                           .join(QLatin1Char(' '));
        const QString arguments = encodeArguments(map.value("arguments").toList());
        if (!arguments.isEmpty())
            call += QLatin1Char(' ') + arguments;
        d->hints.insert(kHintRemoteActionPrefix + name, call);
    }
    emit remoteActionsChanged();
}

QVariant Notification::hintValue(const QString &hint) const { return d->hints.value(hint); }
void Notification::setHintValue(const QString &hint, const QVariant &value)
{
    if (hint.isEmpty())
        return;
    if (value.isValid())
        d->hints.insert(hint, value);
    else
        d->hints.remove(hint);
}

QVariantHash Notification::hints() const { return d->hints; }

QVariant Notification::remoteAction(const QString &name, const QString &displayName, const QString &service,
                                    const QString &path, const QString &iface, const QString &method,
                                    const QVariantList &arguments)
{
    QVariantMap action;
    action.insert("name", name);
    action.insert("displayName", displayName);
    if (!service.isEmpty()) {
        action.insert("service", service);
        action.insert("path", path);
        action.insert("iface", iface);
        action.insert("method", method);
        action.insert("arguments", arguments);
    }
    return action;
}

void Notification::publish()
{
    QStringList actions;
    for (const QVariant &action : qAsConst(d->remoteActions)) {
        const QVariantMap map = action.toMap();
        const QString name = map.value("name").toString();
        if (name.isEmpty())
            continue;
        actions << name << map.value("displayName").toString();
    }
    QVariantMap hints;
    for (auto it = d->hints.cbegin(); it != d->hints.cend(); ++it)
        hints.insert(it.key(), it.value());
    if (!hints.contains(kHintOwner))
        hints.insert(kHintOwner, defaultAppName());

    // Listen before the call so that a close that follows at once is seen.
    listen(true);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    call << d->appName << d->replacesId << d->appIcon << d->summary << d->body << actions << hints
         << d->expireTimeout;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcNotification) << "Cannot publish notification:" << reply.errorMessage();
        if (d->replacesId == 0)
            listen(false);
        return;
    }
    const uint id = reply.arguments().first().toUInt();
    liveNotifications().insert(this);
    if (id != d->replacesId) {
        d->replacesId = id;
        listen(true);
        emit replacesIdChanged();
    }
}

void Notification::close()
{
    if (d->replacesId == 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "CloseNotification");
    call << d->replacesId;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qCWarning(lcNotification) << "Cannot close notification" << d->replacesId << reply.errorMessage();
}

void Notification::onActionInvoked(uint id, const QString &actionKey)
{
    if (id != 0 && id == d->replacesId)
        emit actionInvoked(actionKey);
}

void Notification::onNotificationClosed(uint id, uint reason)
{
    if (id == 0 || id != d->replacesId)
        return;
    liveNotifications().remove(this);
    d->replacesId = 0;
    listen(false);
    emit replacesIdChanged();
    emit closed(reason);
}

void Notification::listen(bool on)
{
    if (on)
        NotificationSignalRouter::instance()->track(this, d->replacesId);
    else
        NotificationSignalRouter::instance()->untrack(this);
}

NotificationSignalRouter *NotificationSignalRouter::instance()
{
    static NotificationSignalRouter *router = new NotificationSignalRouter;
    return router;
}

void NotificationSignalRouter::track(Notification *notification, uint id)
{
    if (!m_connected) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        m_connected = bus.connect(QString(), kPath, kInterface, "ActionInvoked", this,
                                  SLOT(onActionInvoked(uint, QString)))
                      && bus.connect(QString(), kPath, kInterface, "NotificationClosed", this,
                                     SLOT(onNotificationClosed(uint, uint)));
    }
    untrack(notification);
    if (id == 0)
        return;
    m_ids.insert(notification, id);
    m_byId.insert(id, notification);
}

void NotificationSignalRouter::untrack(Notification *notification)
{
    const auto it = m_ids.find(notification);
    if (it == m_ids.end())
        return;
    m_byId.remove(it.value(), notification);
    m_ids.erase(it);
}

QList<Notification *> NotificationSignalRouter::receivers(uint id) const
{
    return id == 0 ? QList<Notification *>() : m_byId.values(id);
}

void NotificationSignalRouter::onActionInvoked(uint id, const QString &actionKey)
{
    // A receiver may delete others (or itself) on the way.
    QList<QPointer<Notification>> targets;
    for (Notification *n : receivers(id))
        targets << n;
    for (const QPointer<Notification> &n : qAsConst(targets))
        if (n)
            n->onActionInvoked(id, actionKey);
}

void NotificationSignalRouter::onNotificationClosed(uint id, uint reason)
{
    QList<QPointer<Notification>> targets;
    for (Notification *n : receivers(id))
        targets << n;
    for (const QPointer<Notification> &n : qAsConst(targets))
        if (n)
            n->onNotificationClosed(id, reason);
}

QList<QObject *> Notification::notifications()
{
    QList<QObject *> result;
    const QString appName = defaultAppName();
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetNotifications");
    call << appName;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
        reply.arguments().first().canConvert<QDBusArgument>()) {
        // a(susssasa{sv}i): app name, id, app icon, summary, body, actions, hints, expire timeout.
        const QDBusArgument arg = reply.arguments().first().value<QDBusArgument>();
        if (arg.currentSignature() != QLatin1String("a(susssasa{sv}i)")) {
            qCWarning(lcNotification) << "Unexpected notification list" << arg.currentSignature();
            return result;
        }
        arg.beginArray();
        while (!arg.atEnd()) {
            QString name, icon, summary, body;
            uint id = 0;
            QStringList actions;
            QVariantMap hints;
            int expire = -1;
            arg.beginStructure();
            arg >> name >> id >> icon >> summary >> body >> actions >> hints >> expire;
            arg.endStructure();
            auto *n = new Notification;
            n->d->appName = name;
            n->d->appIcon = icon;
            n->d->summary = summary;
            n->d->body = body;
            n->d->expireTimeout = expire;
            for (auto it = hints.cbegin(); it != hints.cend(); ++it)
                n->d->hints.insert(it.key(), it.value());
            QVariantList remote;
            for (int i = 0; i + 1 < actions.size(); i += 2)
                remote << remoteAction(actions.at(i), actions.at(i + 1));
            n->d->remoteActions = remote;
            n->setReplacesId(id);
            result << n;
        }
        arg.endArray();
        return result;
    }
    for (Notification *live : qAsConst(liveNotifications())) {
        auto *n = new Notification;
        n->d->appName = live->d->appName;
        n->d->appIcon = live->d->appIcon;
        n->d->summary = live->d->summary;
        n->d->body = live->d->body;
        n->d->expireTimeout = live->d->expireTimeout;
        n->d->hints = live->d->hints;
        n->d->remoteActions = live->d->remoteActions;
        n->setReplacesId(live->d->replacesId);
        result << n;
    }
    return result;
}
