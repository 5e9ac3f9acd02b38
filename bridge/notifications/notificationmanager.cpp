#include "notificationmanager.h"

#include "logging.h"
#include "notification.h"
#include "notificationbuilder.h"
#include "notificationcomparison.h"
#include "notificationrecord.h"
#include "novumbindercallbackclient.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "novumservicemonitor.h"

#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_request.h>

#include <QSet>
#include <QStandardPaths>

#include <limits>

namespace {

const char kInterface[] = "novum.notifications.INovumNativeNotification";
const char kCallbackInterface[] = "novum.notifications.INovumNativeNotificationCallback";
const char kOriginKey[] = "x-nemo-origin-key";
const char kOriginPackage[] = "x-nemo-origin-package";

QString defaultBlacklistPath()
{
    const QString path = qEnvironmentVariable("FERRYD_NOTIF_BLACKLIST_PATH");
    return path.isEmpty() ? QStringLiteral("/etc/ferryd/notif-blacklist") : path;
}

QString defaultIconDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/icons");
}

} // namespace

NotificationManager::NotificationManager(QObject *parent)
    : NotificationManager(defaultBlacklistPath(), defaultIconDirectory(), parent)
{
}

NotificationManager::NotificationManager(const QString &blacklistPath, const QString &iconDirectory,
                                         QObject *parent)
    : NovumBinderService(QStringLiteral("novum.notification"), QString::fromLatin1(kInterface),
                         QStringLiteral("/dev/vororoveredi"), parent)
    , m_icons(iconDirectory)
{
    qCDebug(lcNotif) << "Starting notification manager";
    m_blacklist.load(blacklistPath);
    reset();
}

NotificationManager::~NotificationManager()
{
    if (!dropCallback())
        reset();
    NovumBinderService::unregisterService();
}

void NotificationManager::unregisterService()
{
    // With the runtime gone nobody can act on what Android posted: close it
    // on the host, callback or not.
    if (!dropCallback())
        reset();
    NovumBinderService::unregisterService();
}

ferry::binder::Status NotificationManager::onTransact(const ferry::binder::RemoteRequest &request, uint32_t code,
                                                      uint32_t flags, ferry::binder::LocalReply *reply)
{
    Q_UNUSED(flags)
    Q_UNUSED(reply)
    if (request.interface() != kInterface)
        return ferry::binder::kStatusOk;
    NovumParcel reader(&request);
    return handleRequest(code, reader) ? ferry::binder::kStatusOk : ferry::binder::kStatusFailed;
}

bool NotificationManager::handleRequest(uint32_t code, NovumParcel &reader)
{
    switch (code) {
    case RegisterCallbackCode:
        qCDebug(lcNotif) << "Received notification callback from novum";
        registerCallback(reader.readObject());
        return true;
    case PostCode:
        post(NotificationRecord::read(reader));
        return true;
    case RemoveCode:
        removeFromAndroid(reader.readString());
        return true;
    default:
        qCDebug(lcNotif).nospace() << "Unknown binder call (" << code << ")";
        return false;
    }
}

void NotificationManager::post(const NotificationRecord &r)
{
    if (r.malformed || r.key.isEmpty()) {
        qCWarning(lcNotif) << "Dropping a malformed notification or one without key from" << r.packageName;
        return;
    }
    if (m_blacklist.blocks(r.packageName, r.channelId)) {
        qCDebug(lcNotif) << "Discarding notification" << r.key << "from blacklisted package" << r.packageName
                         << "channelId:" << r.channelId;
        return;
    }
    qCDebug(lcNotif) << "Forwarding notification" << r.key << "from package" << r.packageName
                     << "channelId:" << r.channelId;

    auto *n = new Notification(this);
    NotificationBuilder::fill(n, r);
    if (!r.smallIcon.isEmpty()) {
        const QString path = m_icons.save(r.key, r.smallIcon);
        if (path.isEmpty())
            qCWarning(lcNotif) << "Couldn't save small icon for" << r.key;
        else
            n->setAppIcon(path);
    }
    if (!r.largeIcon.isEmpty()) {
        const QImage image = NotificationBuilder::decodeIcon(r.largeIcon);
        qCDebug(lcNotif) << "Got large icon" << image.width() << "x" << image.height();
        n->setIconData(image);
    }

    Notification *previous = nullptr;
    const auto it = m_live.find(r.key);
    if (it != m_live.end()) {
        previous = it->notification;
        n->setReplacesId(previous->replacesId());
        const QStringList changes = NotificationComparison::differences(*previous, *n);
        for (const QString &change : changes)
            qCDebug(lcNotif) << change;
        if (changes.isEmpty()) {
            qCDebug(lcNotif) << "Notification" << n->replacesId() << "(" << r.key << ") unchanged";
            // Shown already: no pop-up, sound or vibration again.
            n->setPreviewSummary(QString());
            n->setPreviewBody(QString());
            n->setHintValue(QStringLiteral("x-nemo-vibrate"), false);
            n->setHintValue(QStringLiteral("suppress-sound"), true);
        } else {
            qCDebug(lcNotif) << "Notification" << n->replacesId() << "(" << r.key << ") was changed";
        }
        m_live.erase(it);
    }

    n->publish();
    qCDebug(lcNotif) << "Published notification" << r.key << "as" << n->replacesId() << "with importance"
                     << r.importance;
    if (previous)
        release(previous);
    connect(n, &Notification::actionInvoked, this, [this, n](const QString &name) { onActionInvoked(n, name); });
    connect(n, &Notification::closed, this, [this, n](uint reason) { onClosed(n, reason); });
    m_live.insert(r.key, Entry{n, ++m_serial});
    while (m_live.size() > qMax(1, m_maxLive))
        evictOldest();
}

void NotificationManager::removeFromAndroid(const QString &key)
{
    qCDebug(lcNotif) << "removeNotification key:" << key;
    const auto it = m_live.find(key);
    if (it == m_live.end())
        return;
    // Out of the table at once: what Android posts under the key from now
    // on is a new notification, and the host's confirmation of this close
    // is not Android's business.
    Notification *n = it->notification;
    m_live.erase(it);
    release(n);
    n->close();
    m_icons.remove(key);
}

void NotificationManager::evictOldest()
{
    auto oldest = m_live.begin();
    for (auto it = m_live.begin(); it != m_live.end(); ++it) {
        if (it->serial < oldest->serial)
            oldest = it;
    }
    const QString key = oldest.key();
    Notification *n = oldest->notification;
    qCWarning(lcNotif) << "More than" << m_maxLive << "notifications, closing" << key;
    m_live.erase(oldest);
    release(n);
    n->close();
    m_icons.remove(key);
    tellAndroid(ClosedCode, key);
}

void NotificationManager::registerCallback(const std::shared_ptr<ferry::binder::RemoteObject> &callback)
{
    dropCallback();
    if (!callback) {
        qCWarning(lcNotif) << "Notification callback is no object";
        return;
    }
    m_callback = callback;
    m_callbackClient = NovumBinderCallbackClient::create(this, callback, QString::fromLatin1(kCallbackInterface));
}

bool NotificationManager::dropCallback()
{
    delete m_callbackClient;
    m_callbackClient = nullptr;
    if (!m_callback)
        return false;
    m_callback.reset();
    reset();
    return true;
}

void NotificationManager::clientDied(NovumBinderCallbackClient *client)
{
    // The client deletes itself.
    if (client == m_callbackClient)
        m_callbackClient = nullptr;
    qCDebug(lcNotif) << "Notification callback died";
    dropCallback();
}

void NotificationManager::reset()
{
    QSet<uint> closed;
    for (QObject *object : Notification::notifications()) {
        if (auto *n = qobject_cast<Notification *>(object)) {
            closed.insert(n->replacesId());
            n->close();
        }
        delete object;
    }
    // A server that lists only part of them still closes ours.
    for (const Entry &entry : qAsConst(m_live)) {
        Notification *n = entry.notification;
        release(n);
        if (n->replacesId() != 0 && !closed.contains(n->replacesId()))
            n->close();
    }
    m_live.clear();
    m_icons.clear();
}

void NotificationManager::onActionInvoked(Notification *n, const QString &name)
{
    qCDebug(lcNotif) << "actionInvoked" << name << n->replacesId();
    const QString key = n->hintValue(QLatin1String(kOriginKey)).toString();
    if (key.isEmpty()) {
        qCWarning(lcNotif) << "Notification received with empty key";
        return;
    }
    if (name == QLatin1String("app")) {
        NovumServiceMonitor::instance()->launchPackage(n->hintValue(QLatin1String(kOriginPackage)).toString());
        return;
    }
    qCDebug(lcNotif) << "Opening notification" << key << "with" << name;
    if (!m_callbackClient) {
        qCCritical(lcNotif) << "No callback client";
        return;
    }
    tellAndroid(ActionInvokedCode, key, name);
}

void NotificationManager::onClosed(Notification *n, uint reason)
{
    qCDebug(lcNotif) << "Notification" << n->replacesId() << "closed because" << reason;
    const QString key = n->hintValue(QLatin1String(kOriginKey)).toString();
    if (key.isEmpty()) {
        qCWarning(lcNotif) << "Notification received with empty key";
        return;
    }
    const auto it = m_live.find(key);
    if (it == m_live.end() || it->notification != n)
        return;
    m_live.erase(it);
    release(n);
    m_icons.remove(key);
    tellAndroid(ClosedCode, key);
}

void NotificationManager::release(Notification *n)
{
    disconnect(n, nullptr, this, nullptr);
    n->deleteLater();
}

void NotificationManager::tellAndroid(CallbackCode code, const QString &key, const QString &action)
{
    if (!m_callbackClient)
        return;
    std::unique_ptr<NovumBinderTransaction> t(m_callbackClient->newTransaction(code, true));
    if (!t)
        return;
    t->writer().writeString(key);
    if (code == ActionInvokedCode)
        t->writer().writeString(action);
    t->execute();
}
