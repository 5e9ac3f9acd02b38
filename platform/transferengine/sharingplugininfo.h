#pragma once

#include "sharingmethodinfo.h"

#include <QList>
#include <QObject>

// A plug-in's list of share methods. The engine calls query() once and
// reads info() after infoReady().
class SharingPluginInfo : public QObject
{
    Q_OBJECT
public:
    explicit SharingPluginInfo(QObject *parent = nullptr);
    ~SharingPluginInfo() override;

    virtual QList<SharingMethodInfo> info() const = 0;
    virtual void query() = 0;

signals:
    void infoReady();
    void infoError(const QString &message);
};
