#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the simulated runtime knows of a package: the description a test or
// the demo puts into its fake APK, a JSON object:
//
//   {"package": "com.example.demo", "version": "1.0",
//    "activities": [
//      {"class": "com.example.demo.Main", "label": "Demo", "icon": "<base64 PNG>"},
//      {"class": "com.example.demo.Share", "label": "Demo", "caption": "Send",
//       "mimeTypes": ["text/plain"], "schemes": ["demo"], "hosts": ["example.com"],
//       "shareTypes": ["text/plain"], "multi": true, "iconSize": 2048}]}
//
// An activity with MIME types, schemes, hosts or share types (or
// "handler": true) is reported as a handler, any other as a launcher.
// "iconSize" makes an icon of that many bytes; "version" of an activity
// overrides the package's. A file that is not such an object describes a
// package without activities, named after the file.
struct ApkActivity
{
    QString className;
    QString label;
    QString caption;
    QString version;
    QByteArray icon;
    QStringList mimeTypes;
    QStringList schemes;
    QStringList hosts;
    QStringList shareTypes;
    bool multi = false;
    bool handler = false;
};

struct ApkDescription
{
    QString package;
    QList<ApkActivity> activities;

    // fileName names the package when the content does not.
    static ApkDescription parse(const QByteArray &content, const QString &fileName);
    // "com.example.demo-1.apk" -> "com.example.demo"
    static QString packageFromFileName(const QString &fileName);
};
