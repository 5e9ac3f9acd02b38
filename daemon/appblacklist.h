#pragma once

#include <QStringList>

// Packages whose launchers are hidden and whose handlers are not
// published: one package name per line, trimmed, empty lines skipped, no
// comments. Files that cannot be opened count as empty.
class AppBlacklist
{
public:
    static QStringList read(const QStringList &files);
    static QStringList parse(const QByteArray &content);
};
