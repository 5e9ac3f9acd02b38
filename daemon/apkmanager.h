#pragma once

#include "apklauncher.h"

#include <QObject>

// The launcher service "novum.launcher" through which the runtime reports
// launcher activities, handlers and removed packages.
//
// Not served yet: the object exists so that the daemon's wiring and
// construction order are in place; it emits nothing.
class ApkManager : public QObject
{
    Q_OBJECT
public:
    explicit ApkManager(QObject *parent = nullptr);

signals:
    void addLauncher(ApkLauncher launcher);
    void packageRemoved(const QString &package);
    void launchersComplete();
};
