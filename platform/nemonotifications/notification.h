#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVariantHash>
#include <QVariantList>

class QImage;
class NotificationPrivate;

// A host notification, published on the session bus through the standard
// notification server "org.freedesktop.Notifications". Everything beyond
// the standard Notify arguments travels as hints: the nemo extensions under
// their "x-nemo-..." names, urgency as "urgency", transience as "transient".
//
// A notification is local until publish(); publishing again updates the
// same notification on the server (its id is kept in replacesId()).
class Notification : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString appName READ appName WRITE setAppName NOTIFY appNameChanged)
    Q_PROPERTY(uint replacesId READ replacesId WRITE setReplacesId NOTIFY replacesIdChanged)
    Q_PROPERTY(QString appIcon READ appIcon WRITE setAppIcon NOTIFY appIconChanged)
    Q_PROPERTY(QString icon READ icon WRITE setIcon NOTIFY iconChanged)
    Q_PROPERTY(QString summary READ summary WRITE setSummary NOTIFY summaryChanged)
    Q_PROPERTY(QString body READ body WRITE setBody NOTIFY bodyChanged)
    Q_PROPERTY(QString subText READ subText WRITE setSubText NOTIFY subTextChanged)
    Q_PROPERTY(QString category READ category WRITE setCategory NOTIFY categoryChanged)
    Q_PROPERTY(Urgency urgency READ urgency WRITE setUrgency NOTIFY urgencyChanged)
    Q_PROPERTY(int expireTimeout READ expireTimeout WRITE setExpireTimeout NOTIFY expireTimeoutChanged)
    Q_PROPERTY(QDateTime timestamp READ timestamp WRITE setTimestamp NOTIFY timestampChanged)
    Q_PROPERTY(QString previewSummary READ previewSummary WRITE setPreviewSummary NOTIFY previewSummaryChanged)
    Q_PROPERTY(QString previewBody READ previewBody WRITE setPreviewBody NOTIFY previewBodyChanged)
    Q_PROPERTY(int itemCount READ itemCount WRITE setItemCount NOTIFY itemCountChanged)
    Q_PROPERTY(bool isTransient READ isTransient WRITE setIsTransient NOTIFY isTransientChanged)
    Q_PROPERTY(QVariantList remoteActions READ remoteActions WRITE setRemoteActions NOTIFY remoteActionsChanged)

public:
    enum Urgency { Low = 0, Normal = 1, Critical = 2 };
    Q_ENUM(Urgency)

    // Reasons of closed(), as the notification server reports them.
    enum CloseReason { Expired = 1, DismissedByUser = 2, Closed = 3, Undefined = 4 };
    Q_ENUM(CloseReason)

    explicit Notification(QObject *parent = nullptr);
    ~Notification() override;

    QString appName() const;
    void setAppName(const QString &appName);
    uint replacesId() const;
    void setReplacesId(uint id);
    QString appIcon() const;          // file path or theme icon name
    void setAppIcon(const QString &appIcon);
    QString icon() const;             // hint "image-path"
    void setIcon(const QString &icon);
    void setIconData(const QImage &image);   // hint "image-data"
    QString summary() const;
    void setSummary(const QString &summary);
    QString body() const;
    void setBody(const QString &body);
    QString subText() const;
    void setSubText(const QString &subText);
    QString category() const;
    void setCategory(const QString &category);
    Urgency urgency() const;
    void setUrgency(Urgency urgency);
    int expireTimeout() const;        // milliseconds, -1 = server default
    void setExpireTimeout(int ms);
    QDateTime timestamp() const;
    void setTimestamp(const QDateTime &timestamp);
    QString previewSummary() const;
    void setPreviewSummary(const QString &previewSummary);
    QString previewBody() const;
    void setPreviewBody(const QString &previewBody);
    int itemCount() const;
    void setItemCount(int itemCount);
    bool isTransient() const;
    void setIsTransient(bool transient);
    QVariantList remoteActions() const;
    void setRemoteActions(const QVariantList &actions);

    QVariant hintValue(const QString &hint) const;
    void setHintValue(const QString &hint, const QVariant &value);
    QVariantHash hints() const;       // every hint publish() sends

    // One entry of setRemoteActions(): the action's name and label, and the
    // D-Bus call the host makes when the user picks it (optional).
    static QVariant remoteAction(const QString &name, const QString &displayName,
                                 const QString &service = QString(), const QString &path = QString(),
                                 const QString &iface = QString(), const QString &method = QString(),
                                 const QVariantList &arguments = QVariantList());

    // The notifications this program has on the server (each is published
    // with the hint "x-nemo-owner" naming the program, whatever its
    // application name). The caller owns the returned objects. Servers that
    // cannot list them ("GetNotifications" is a nemo extension) give the ones
    // published by live objects of this process.
    static QList<QObject *> notifications();

public slots:
    void publish();
    void close();

signals:
    void actionInvoked(const QString &name);
    void closed(uint reason);
    void appNameChanged();
    void replacesIdChanged();
    void appIconChanged();
    void iconChanged();
    void summaryChanged();
    void bodyChanged();
    void subTextChanged();
    void categoryChanged();
    void urgencyChanged();
    void expireTimeoutChanged();
    void timestampChanged();
    void previewSummaryChanged();
    void previewBodyChanged();
    void itemCountChanged();
    void isTransientChanged();
    void remoteActionsChanged();

private:
    friend class NotificationSignalRouter;
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);
    void listen(bool on);
    NotificationPrivate *d;
};
