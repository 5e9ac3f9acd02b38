#pragma once

#include "apklauncher.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

// The sharing registry: every Android activity that accepts shared content,
// by package and class name, for the host's share menu. It holds what
// Android reported since the daemon started: start() empties the file, and
// Android reports its share targets again after each runtime start.
class SharingRegistry
{
public:
    explicit SharingRegistry(const QString &path);

    QString path() const { return m_path; }
    // Creates the registry's directory and replaces the file by the empty
    // document.
    void start();
    // Adds or replaces the entry of launcher's class under its package.
    void addShareTarget(const ApkLauncher &launcher, const QString &iconPath);
    // Drops the package; the file is rewritten only when that changes it.
    void removePackage(const QString &package);
    const QJsonDocument &document() const { return m_document; }

    // Indented JSON with sorted keys; the empty document is zero bytes.
    static QByteArray serialise(const QJsonDocument &document);

private:
    void write(const QByteArray &content);

    QString m_path;
    QJsonDocument m_document;
};
