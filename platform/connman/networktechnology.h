#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

// One technology of the connection manager (wifi, ethernet, cellular):
// connman's "net.connman.Technology" object at path. It starts from the
// properties it is given and follows the object's PropertyChanged signals
// from then on; it does not ask for the rest.
class NetworkTechnology : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path CONSTANT)
    Q_PROPERTY(bool powered READ powered NOTIFY poweredChanged)
    Q_PROPERTY(bool connected READ connected NOTIFY connectedChanged)

public:
    NetworkTechnology(const QString &path, const QVariantMap &properties, QObject *parent = nullptr);
    ~NetworkTechnology() override;

    QString path() const { return m_path; }
    QString name() const;
    QString type() const;
    bool powered() const;
    bool connected() const;

signals:
    void poweredChanged(bool powered);
    void connectedChanged(bool connected);

private slots:
    void onPropertyChanged(const QDBusMessage &message);

private:
    void updateProperty(const QString &name, const QVariant &value);

    QString m_path;
    QVariantMap m_properties;
};
