#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// One invocation of `ferry`, as parsed from its arguments: which command,
// its operands and options. Parsing checks everything that can be checked
// without the daemon (names, counts, value forms), so that nothing malformed
// reaches the bus.
struct CommandLine
{
    QString command;       // "status", "install", ...; empty with --help alone
    QStringList operands;  // files, package names, on/off
    bool json = false;
    bool help = false;
    bool version = false;

    // install
    int source = 0;  // 0 ordinary, 1 preload, 2 partner space

    // intent
    QString action;
    QString data;
    QString type;
    QString package;
    QString className;
    QString category;
    QVariantMap extras;

    // Returns false with a one-line reason. args excludes the program name.
    static bool parse(const QStringList &args, CommandLine *out, QString *error);

    static QStringList commands();
    static bool isValidPackageName(const QString &name);
    // "key=value" (string), "key:int=N", "key:long=N", "key:bool=true|false".
    static bool parseExtra(const QString &text, QString *key, QVariant *value);
};
