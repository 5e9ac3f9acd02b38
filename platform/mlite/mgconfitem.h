#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class MGConfItemPrivate;

// One key of the host's configuration ("/lipstick/orientationLock"), kept
// in the user's dconf database. value() is the current value (invalid when
// the key is unset); valueChanged() is emitted whenever the stored value
// changes, whoever changed it. Changes are delivered through the thread's
// main loop, so create items on a thread that runs one.
class MGConfItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE set NOTIFY valueChanged)
public:
    explicit MGConfItem(const QString &key, QObject *parent = nullptr);
    ~MGConfItem() override;

    QString key() const;
    QVariant value() const;
    QVariant value(const QVariant &defaultValue) const;

    // Stores the value (bool, int, double, string or string list; anything
    // else is refused with a warning). The change is seen at once by this
    // process and reaches the database through the dconf service.
    void set(const QVariant &value);
    void unset();
    // Waits until every change made by this process is in the database.
    bool sync();

signals:
    void valueChanged();

private:
    friend class MGConfItemPrivate;
    std::unique_ptr<MGConfItemPrivate> d;
};
